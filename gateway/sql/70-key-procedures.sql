-- 70-key-procedures.sql - the catalog procedures sp_pkeys and sp_fkeys as SQL functions.
--
-- The session answers `sp_pkeys table, owner` and `sp_fkeys pktable, pkowner, pkqualifier,
-- fktable, fkowner, fkqualifier` with these functions. Arguments are DB2 names (unquoted ones
-- already upper case); an empty argument arrives as NULL, and a NULL owner of a named table means
-- the current user. Results have the Sybase columns, names in DB2 form, the rows of one key
-- together and in key order. Rule codes: 0 cascade, 1 restrict, 2 set null (DB2's update rule is
-- always restrict). Qualifiers are accepted and ignored: DB2 has one location here. A function's
-- declared result loses the lengths of its columns (its names would go out as text, which JDBC
-- clients read as CLOBs), so the rows are of views' row types, which keep VARCHAR(32).

-- The rows the procedures answer.
call kwgw.install_view('kwgw.sp_pkeys_row', $view$
select null::varchar(32) as table_qualifier, null::varchar(32) as table_owner,
  null::varchar(32) as table_name, null::varchar(32) as column_name, null::int2 as key_seq,
  null::varchar(32) as pk_name
where false$view$);

call kwgw.install_view('kwgw.sp_fkeys_row', $view$
select null::varchar(32) as pktable_qualifier, null::varchar(32) as pktable_owner,
  null::varchar(32) as pktable_name, null::varchar(32) as pkcolumn_name,
  null::varchar(32) as fktable_qualifier, null::varchar(32) as fktable_owner,
  null::varchar(32) as fktable_name, null::varchar(32) as fkcolumn_name, null::int2 as key_seq,
  null::int2 as update_rule, null::int2 as delete_rule, null::varchar(32) as fk_name,
  null::varchar(32) as pk_name
where false$view$);

-- A database installed before the procedures answered these row types has them returning a table
-- of their own, which CREATE OR REPLACE cannot change: those are dropped first.
do $$
declare
  f record;
begin
  for f in select * from (values
      ('kwgw.sp_pkeys(text, text, text)', 'kwgw.sp_pkeys_row'),
      ('kwgw.sp_fkeys(text, text, text, text, text, text)', 'kwgw.sp_fkeys_row')) as v(fn, row_type) loop
    if exists (select from pg_proc p where p.oid = to_regprocedure(f.fn)
               and p.prorettype <> to_regtype(f.row_type)) then
      execute format('drop function %s', f.fn);
    end if;
  end loop;
end $$;

create or replace function kwgw.sp_pkeys(p_table text, p_owner text, p_qualifier text)
returns setof kwgw.sp_pkeys_row
language sql stable
begin atomic
  select null::varchar(32), kwgw.db2name(n.nspname)::varchar(32), kwgw.db2name(c.relname)::varchar(32),
         kwgw.db2name(a.attname)::varchar(32), k.seq::int2, kwgw.db2name(con.conname)::varchar(32)
  from pg_constraint con join pg_class c on c.oid = con.conrelid
  join pg_namespace n on n.oid = c.relnamespace
  cross join lateral unnest(con.conkey) with ordinality as k(attnum, seq)
  join pg_attribute a on a.attrelid = con.conrelid and a.attnum = k.attnum
  where con.contype = 'p' and c.relname = kwgw.pgname(p_table)
    and n.nspname = coalesce(kwgw.pgname(p_owner), current_user)
  order by n.nspname, c.relname, k.seq;
end;

create or replace function kwgw.fk_rule(p_action "char") returns int2
  language sql immutable
  return case p_action when 'c' then 0 when 'n' then 2 when 'd' then 4 else 1 end;

create or replace function kwgw.sp_fkeys(p_pktable text, p_pkowner text, p_pkqualifier text,
                                         p_fktable text, p_fkowner text, p_fkqualifier text)
returns setof kwgw.sp_fkeys_row
language sql stable
begin atomic
  select null::varchar(32), kwgw.db2name(pn.nspname)::varchar(32), kwgw.db2name(pc.relname)::varchar(32),
    kwgw.db2name(pa.attname)::varchar(32),
    null::varchar(32), kwgw.db2name(fn.nspname)::varchar(32), kwgw.db2name(fc.relname)::varchar(32),
    kwgw.db2name(fa.attname)::varchar(32),
    k.seq::int2, kwgw.fk_rule(con.confupdtype), kwgw.fk_rule(con.confdeltype),
    kwgw.db2name(con.conname)::varchar(32),
    (select kwgw.db2name(p.conname)::varchar(32) from pg_constraint p
     where p.conrelid = con.confrelid and p.contype = 'p')
  from pg_constraint con
  join pg_class fc on fc.oid = con.conrelid join pg_namespace fn on fn.oid = fc.relnamespace
  join pg_class pc on pc.oid = con.confrelid join pg_namespace pn on pn.oid = pc.relnamespace
  cross join lateral unnest(con.conkey, con.confkey) with ordinality as k(fkatt, pkatt, seq)
  join pg_attribute fa on fa.attrelid = con.conrelid and fa.attnum = k.fkatt
  join pg_attribute pa on pa.attrelid = con.confrelid and pa.attnum = k.pkatt
  where con.contype = 'f' and (p_pktable is not null or p_fktable is not null)
    and (p_pktable is null or (pc.relname = kwgw.pgname(p_pktable)
                               and pn.nspname = coalesce(kwgw.pgname(p_pkowner), current_user)))
    and (p_fktable is null or (fc.relname = kwgw.pgname(p_fktable)
                               and fn.nspname = coalesce(kwgw.pgname(p_fkowner), current_user)))
  order by case when p_fktable is null then fn.nspname else pn.nspname end,
           case when p_fktable is null then fc.relname else pc.relname end,
           case when p_fktable is null then '' else fn.nspname end,
           case when p_fktable is null then '' else fc.relname end,
           con.conname, k.seq;
end;
