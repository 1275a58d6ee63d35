-- 50-privileges.sql - the routines behind DB2 GRANT and REVOKE of table privileges.
--
-- SELECT, INSERT, UPDATE and DELETE are PostgreSQL privileges and PostgreSQL enforces them; the
-- dialect layer runs PostgreSQL's own GRANT for them. ALTER and INDEX have no PostgreSQL privilege
-- and live in kwgw.extra_auth, written only here; ALTER comes with PostgreSQL's REFERENCES, which
-- is the part of ALTER PostgreSQL can enforce (defining a foreign key to the table). A grant needs the privilege with grant option, as
-- DB2 checks it (PostgreSQL would only warn); a REVOKE that takes nothing away is an error, as in DB2;
-- a REVOKE cascades to the grants the revokee made with the privilege it loses. Names arrive in
-- PostgreSQL form; a NULL grantee is PUBLIC.

-- GRANT needs the grant option of every privilege named, or ownership (or superuser).
create or replace function kwgw.check_grant(p_schema text, p_table text, variadic p_privs text[])
  returns void language plpgsql stable security definer set search_path = pg_catalog, pg_temp as $$
declare
  r oid := kwgw.relid(p_schema, p_table);
  me oid := (select oid from pg_roles where rolname = session_user);
  p text;
begin
  foreach p in array p_privs loop
    if kwgw.auth_level(r, me, p) < 2 then
      raise exception using errcode = '42501',
        message = format('%s DOES NOT HAVE THE PRIVILEGE TO GRANT %s ON %s', kwgw.db2name(session_user), p,
                         kwgw.db2qname(p_schema, p_table));
    end if;
  end loop;
end $$;

-- The grantor PostgreSQL records for a grant by the session's user: the owner when the user acts
-- as the owner (owner, member, superuser), the user himself otherwise.
create or replace function kwgw.grantor_of(p_rel oid) returns oid
  language sql stable
  return case when kwgw.session_owns(p_rel) or (select rolsuper from pg_roles where rolname = session_user)
              then (select relowner from pg_class where oid = p_rel)
              else (select oid from pg_roles where rolname = session_user) end;

-- The stronger of two DB2 authorization flags: ' ' < 'Y' < 'G'.
create or replace function kwgw.flag_max(a text, b text) returns char(1)
  language sql immutable
  return case when 'G' in (a, b) then 'G' when 'Y' in (a, b) then 'Y' else ' ' end;

-- GRANT ALTER / INDEX. p_all: the privileges come from GRANT ALL, which on a view means neither.
create or replace procedure kwgw.grant_extra(p_schema text, p_table text, p_alter boolean, p_index boolean,
                                             p_grantable boolean, p_all boolean, variadic p_grantees text[])
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  r oid := kwgw.relid(p_schema, p_table);
  g text;
  gid oid;
  flag text;
begin
  if (select relkind from pg_class where oid = r) in ('v', 'm') then
    if p_all then
      return;
    end if;
    raise exception using errcode = '42809',
      message = format('%s IS A VIEW: ALTER AND INDEX CANNOT BE GRANTED ON IT', kwgw.db2qname(p_schema, p_table));
  end if;
  perform kwgw.check_grant(p_schema, p_table, variadic
    array_remove(array[case when p_alter then 'ALTER' end, case when p_index then 'INDEX' end], null));
  foreach g in array p_grantees loop
    gid := case when g is null then 0 else (select oid from pg_roles where rolname = g) end;
    if gid is null then
      raise exception using errcode = '42704', message = format('%s IS AN UNDEFINED NAME', kwgw.db2name(g));
    end if;
    flag := case when p_grantable and g is not null then 'G' else 'Y' end;
    insert into kwgw.extra_auth as x values (r, kwgw.grantor_of(r), gid,
      case when p_alter then flag else ' ' end, case when p_index then flag else ' ' end)
    on conflict (relid, grantor, grantee) do update
      set alterauth = kwgw.flag_max(x.alterauth, excluded.alterauth),
          indexauth = kwgw.flag_max(x.indexauth, excluded.indexauth);
  end loop;
end $$;

-- REVOKE ALTER / INDEX from one grantee, then the grants of those who no longer hold the privilege
-- with grant option from anyone, until nothing changes. Returns whether any flag was taken away.
create or replace function kwgw.revoke_extra(p_rel oid, p_grantee text, p_alter boolean, p_index boolean)
  returns boolean language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  gid oid := case when p_grantee is null then 0 else (select oid from pg_roles where rolname = p_grantee) end;
  owner oid := (select relowner from pg_class where oid = p_rel);
  changed boolean := false;
  n int;
begin
  update kwgw.extra_auth
    set alterauth = case when p_alter then ' ' else alterauth end,
        indexauth = case when p_index then ' ' else indexauth end
  where relid = p_rel and grantor = kwgw.grantor_of(p_rel) and grantee = gid
    and ((p_alter and alterauth <> ' ') or (p_index and indexauth <> ' '));
  get diagnostics n = row_count;
  changed := n > 0;
  loop
    update kwgw.extra_auth x
      set alterauth = case when x.alterauth <> ' ' and not exists (
                        select from kwgw.extra_auth y
                        where y.relid = x.relid and y.grantee = x.grantor and y.alterauth = 'G')
                      then ' ' else x.alterauth end,
          indexauth = case when x.indexauth <> ' ' and not exists (
                        select from kwgw.extra_auth y
                        where y.relid = x.relid and y.grantee = x.grantor and y.indexauth = 'G')
                      then ' ' else x.indexauth end
    where x.relid = p_rel and x.grantor <> owner
      and ((x.alterauth <> ' ' and not exists (select from kwgw.extra_auth y where y.relid = x.relid
                                               and y.grantee = x.grantor and y.alterauth = 'G'))
        or (x.indexauth <> ' ' and not exists (select from kwgw.extra_auth y where y.relid = x.relid
                                               and y.grantee = x.grantor and y.indexauth = 'G')));
    get diagnostics n = row_count;
    exit when n = 0;
  end loop;
  delete from kwgw.extra_auth where relid = p_rel and alterauth = ' ' and indexauth = ' ';
  return changed;
end $$;

-- Everything one grantee holds on a relation, as text, to tell whether a REVOKE changed anything.
create or replace function kwgw.grants_of(p_rel oid, p_grantee oid) returns text
  language sql stable
begin atomic
  select coalesce(string_agg(s, ',' order by s), '') from (
    select format('%s:%s:%s:%s', 0, a.grantor, a.privilege_type, a.is_grantable) as s
    from pg_class c cross join lateral aclexplode(c.relacl) a
    where c.oid = p_rel and a.grantee = p_grantee
    union all
    select format('%s:%s:%s:%s', t.attnum, a.grantor, a.privilege_type, a.is_grantable)
    from pg_attribute t cross join lateral aclexplode(t.attacl) a
    where t.attrelid = p_rel and t.attacl is not null and a.grantee = p_grantee
    union all
    select format('x:%s:%s:%s', x.grantor, x.alterauth, x.indexauth)
    from kwgw.extra_auth x where x.relid = p_rel and x.grantee = p_grantee) q;
end;

-- REVOKE privs ON table FROM grantees: PostgreSQL's REVOKE ... CASCADE for the privileges it has,
-- the side table for ALTER and INDEX. p_privs holds SELECT, INSERT, UPDATE, DELETE, ALTER, INDEX or ALL.
create or replace procedure kwgw.revoke_privileges(p_schema text, p_table text, p_privs text[],
                                                   variadic p_grantees text[])
  language plpgsql set search_path = pg_catalog, pg_temp as $$
declare
  r oid := kwgw.relid(p_schema, p_table);
  is_all boolean := 'ALL' = any(p_privs);
  pg_privs text;
  g text;
  gid oid;
  before text;
begin
  -- ALTER also took REFERENCES with it (it is what lets a foreign key refer to the table).
  pg_privs := case when is_all then 'all privileges'
                   else (select string_agg(case p when 'ALTER' then 'REFERENCES' else p end, ', ')
                         from unnest(p_privs) p
                         where p in ('SELECT', 'INSERT', 'UPDATE', 'DELETE', 'ALTER')) end;
  foreach g in array p_grantees loop
    gid := case when g is null then 0 else (select oid from pg_roles where rolname = g) end;
    if gid is null then
      raise exception using errcode = '42504', message = format(
        '%s CANNOT HAVE PRIVILEGES ON %s REVOKED BY %s BECAUSE THE REVOKEE DOES NOT POSSESS THE PRIVILEGE',
        kwgw.db2name(g), kwgw.db2qname(p_schema, p_table), kwgw.db2name(session_user));
    end if;
    before := kwgw.grants_of(r, gid);
    if pg_privs is not null then
      execute format('revoke %s on table %I.%I from %s cascade', pg_privs, p_schema, p_table,
                     case when g is null then 'public' else quote_ident(g) end);
    end if;
    if is_all or 'ALTER' = any(p_privs) or 'INDEX' = any(p_privs) then
      perform kwgw.revoke_extra(r, g, is_all or 'ALTER' = any(p_privs), is_all or 'INDEX' = any(p_privs));
    end if;
    if kwgw.grants_of(r, gid) = before then
      raise exception using errcode = '42504', message = format(
        '%s CANNOT HAVE THE %s PRIVILEGE ON %s REVOKED BY %s BECAUSE THE REVOKEE DOES NOT POSSESS THE '
        'PRIVILEGE OR THE REVOKER DID NOT MAKE THE GRANT', coalesce(kwgw.db2name(g), 'PUBLIC'),
        array_to_string(p_privs, ', '), kwgw.db2qname(p_schema, p_table), kwgw.db2name(session_user));
    end if;
  end loop;
end $$;
