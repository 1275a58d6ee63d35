-- 40-relations.sql - the relations, columns and table privileges that DB2 can see.
--
-- rel lists the tables and views of creator schemas (no PostgreSQL or gateway schema, no partition,
-- no name longer than DB2 allows); col numbers their live columns 1, 2, ... without the gaps that
-- dropped columns leave; auth holds one row per (relation, grantor, grantee, privilege) with level
-- 1 (held) or 2 (held with grant option), merging PostgreSQL's ACLs, the column UPDATE grants and
-- the ALTER / INDEX side table. The owner of a table holds every privilege with grant option; the
-- owner of a view holds what the view's base tables let it, as in DB2. The catalog views and the
-- GRANT / REVOKE routines read these three views.

call kwgw.install_view('kwgw.rel', $view$
select c.oid as relid, c.relname, n.nspname, c.relkind, c.relowner, c.relacl
from pg_class c join pg_namespace n on n.oid = c.relnamespace
where c.relkind in ('r', 'p', 'v', 'm', 'f') and not c.relispartition
  and n.nspname not in ('pg_catalog', 'information_schema', 'kwgw', 'kwgw_fn', 'public')
  and n.nspname !~ '^pg_(toast|temp_|toast_temp_)'
  and char_length(c.relname) <= 18 and char_length(n.nspname) <= 8$view$);

-- Live columns; a domain column counts as its base type. colno is the position among live columns.
call kwgw.install_view('kwgw.col', $view$
select a.attrelid as relid, a.attnum, a.attname,
  coalesce(bt.typname, t.typname) as typname,
  case when t.typtype = 'd' then t.typtypmod else a.atttypmod end as tm,
  a.attnotnull, a.atthasdef,
  (select count(*) from pg_attribute a2
   where a2.attrelid = a.attrelid and a2.attnum > 0 and a2.attnum <= a.attnum and not a2.attisdropped)::int2 as colno
from pg_attribute a join kwgw.rel r on r.relid = a.attrelid
join pg_type t on t.oid = a.atttypid
left join pg_type bt on t.typtype = 'd' and bt.oid = t.typbasetype
where a.attnum > 0 and not a.attisdropped$view$);

-- The tables and views a view reads directly.
create or replace function kwgw.base_relations(p_view oid)
  returns table (relid oid, relkind "char", relowner oid)
  language sql stable
begin atomic
  select distinct c.oid, c.relkind, c.relowner
  from pg_rewrite rw join pg_depend d on d.classid = 'pg_rewrite'::regclass and d.objid = rw.oid
  join pg_class c on c.oid = d.refobjid
  where rw.ev_class = p_view and d.refclassid = 'pg_class'::regclass and d.refobjid <> p_view;
end;

-- Whether a view's column can never be null: it is a column of a table (or of a view, followed
-- down) declared NOT NULL. PostgreSQL keeps each view column's origin in the stored query tree
-- (resorigtbl / resorigcol of its target entry); an expression has none. Every target entry with
-- the column's position and name must agree, so that one of a subquery cannot decide it.
create or replace function kwgw.view_column_not_null(p_view oid, p_attnum int2, p_depth int default 0)
  returns boolean language plpgsql stable set search_path = pg_catalog, pg_temp as $$
declare
  name text;
  origin record;
  found_one boolean := false;
begin
  if p_depth > 16 then
    return false;
  end if;
  select attname into name from pg_attribute where attrelid = p_view and attnum = p_attnum;
  for origin in
    select m[1]::oid as relid, m[2]::int2 as attnum
    from pg_rewrite rw,
         regexp_matches(rw.ev_action::text,
                        ':resno ' || p_attnum || ' :resname ' || regexp_replace(name, '([^A-Za-z0-9_])', '\\\1', 'g')
                        || ' :ressortgroupref \d+ '
                        ':resorigtbl (\d+) :resorigcol (\d+)', 'g') m
    where rw.ev_class = p_view and rw.rulename = '_RETURN'
  loop
    if origin.relid = 0 then
      return false;
    end if;
    if not coalesce((select case when c.relkind in ('v', 'm')
                                 then kwgw.view_column_not_null(c.oid, origin.attnum, p_depth + 1)
                                 else a.attnotnull end
                     from pg_class c join pg_attribute a on a.attrelid = c.oid and a.attnum = origin.attnum
                     where c.oid = origin.relid), false) then
      return false;
    end if;
    found_one := true;
  end loop;
  return found_one;
end $$;

-- What the owner of a relation holds on it: 2 with grant option, 1 without, 0 not at all. A table
-- owner holds everything with grant option. A view owner never holds ALTER or INDEX, holds INSERT,
-- UPDATE and DELETE only on an updatable view, and holds each privilege with grant option only when
-- it holds it with grant option on every base table.
create or replace function kwgw.owner_level(p_rel oid, p_priv text) returns int
  language plpgsql stable set search_path = pg_catalog, pg_temp as $$
declare
  kind "char";
  owner oid;
  upd int;
  lvl int := 2;
  b record;
begin
  select relkind, relowner into kind, owner from pg_class where oid = p_rel;
  if kind not in ('v', 'm') then
    return 2;
  end if;
  if p_priv in ('ALTER', 'INDEX') then
    return 0;
  end if;
  if p_priv <> 'SELECT' then
    upd := pg_relation_is_updatable(p_rel, false);
    if (p_priv = 'UPDATE' and upd & 4 = 0) or (p_priv = 'INSERT' and upd & 8 = 0)
       or (p_priv = 'DELETE' and upd & 16 = 0) then
      return 0;
    end if;
  end if;
  for b in select * from kwgw.base_relations(p_rel) loop
    if b.relowner = owner and b.relkind in ('v', 'm') then
      lvl := least(lvl, kwgw.owner_level(b.relid, p_priv));
    elsif has_table_privilege(owner, b.relid, p_priv || ' WITH GRANT OPTION') then
      null;
    elsif has_table_privilege(owner, b.relid, p_priv) or p_priv = 'SELECT' then
      lvl := least(lvl, 1);
    else
      lvl := 0;
    end if;
  end loop;
  return lvl;
end $$;

call kwgw.install_view('kwgw.auth', $view$
select r.relid, a.grantor, a.grantee, a.privilege_type::text as priv,
  case when a.is_grantable then 2 else 1 end as lvl
from kwgw.rel r cross join lateral aclexplode(coalesce(r.relacl, acldefault('r', r.relowner))) a
where a.privilege_type in ('SELECT', 'INSERT', 'UPDATE', 'DELETE') and a.grantee <> r.relowner
union all
select r.relid, r.relowner, r.relowner, p.priv,
  case when r.relkind in ('v', 'm') then kwgw.owner_level(r.relid, p.priv) else 2 end
from kwgw.rel r
cross join (values ('SELECT'), ('INSERT'), ('UPDATE'), ('DELETE'), ('ALTER'), ('INDEX')) as p(priv)
union all
select x.relid, x.grantor, x.grantee, p.priv,
  case (case p.priv when 'ALTER' then x.alterauth else x.indexauth end) when 'G' then 2 when 'Y' then 1 else 0 end
from kwgw.extra_auth x join kwgw.rel r on r.relid = x.relid
cross join (values ('ALTER'), ('INDEX')) as p(priv)
where x.grantee = 0 or exists (select from pg_roles g where g.oid = x.grantee)
union all
select a.attrelid, x.grantor, x.grantee, 'UPDCOL', max(case when x.is_grantable then 2 else 1 end)
from pg_attribute a join kwgw.rel r on r.relid = a.attrelid
cross join lateral aclexplode(a.attacl) x
where a.attacl is not null and a.attnum > 0 and not a.attisdropped and x.privilege_type = 'UPDATE'
group by a.attrelid, x.grantor, x.grantee$view$);

-- The level at which a role holds a privilege on a relation, directly or through PUBLIC; owners and
-- superusers hold what the owner holds. UPDATE counts column grants too.
create or replace function kwgw.auth_level(p_rel oid, p_role oid, p_priv text) returns int
  language sql stable
begin atomic
  select case
    when (select rolsuper from pg_roles where oid = p_role)
      or pg_has_role(p_role, (select relowner from pg_class where oid = p_rel), 'USAGE')
    then kwgw.owner_level(p_rel, p_priv)
    else (select coalesce(max(a.lvl), 0) from kwgw.auth a
          where a.relid = p_rel and a.grantee in (p_role, 0)
            and (a.priv = p_priv or (p_priv = 'UPDATE' and a.priv = 'UPDCOL')))
  end;
end;
