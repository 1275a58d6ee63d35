-- 10-schemas.sql - the schemas of the DB2 emulation and the name mapping shared by everything else.
--
-- sysibm holds the DB2 catalog views, kwgw the side tables and helper routines, kwgw_fn the DB2
-- scalar functions that sessions find on their search path. A DB2 name N is stored in PostgreSQL
-- as N with the case of its ASCII letters swapped (EMP is emp, "emp" is EMP); db2name and pgname
-- apply that swap, which is its own inverse. Every statement here can run again on a database that
-- already has it.

create schema if not exists sysibm;
create schema if not exists kwgw;
create schema if not exists kwgw_fn;

grant usage on schema sysibm, kwgw, kwgw_fn to public;
revoke create on schema sysibm, kwgw, kwgw_fn from public;

-- The DB2 name of a PostgreSQL name (and, the swap being symmetric, the other way round).
create or replace function kwgw.db2name(n text) returns text
  language sql immutable strict parallel safe
  return translate(n, 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz',
                      'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ');

create or replace function kwgw.pgname(n text) returns text
  language sql immutable strict parallel safe
  return translate(n, 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz',
                      'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ');

-- The DB2 authorization id of a role oid as ACLs hold it: 0 is PUBLIC.
create or replace function kwgw.authname(r oid) returns text
  language sql stable strict parallel safe
  return case when r = 0 then 'PUBLIC' else kwgw.db2name(pg_get_userbyid(r)) end;

-- Creates or replaces one of the gateway's views. When the new definition changes the view's
-- columns (which CREATE OR REPLACE refuses), the view is dropped and created again, together with
-- the gateway's own views built on it (the later files create those again); a user's view built
-- on it stops the upgrade with a message naming it, so that nothing of the user's is lost silently.
create or replace procedure kwgw.install_view(p_name text, p_query text)
  language plpgsql set search_path = pg_catalog, pg_temp as $$
declare
  blocking text;
begin
  execute format('create or replace view %s as %s', p_name, p_query);
exception when invalid_table_definition or datatype_mismatch then
  with recursive dep(relid) as (
    select to_regclass(p_name)::oid
    union
    select rw.ev_class from pg_depend d join pg_rewrite rw on rw.oid = d.objid join dep on d.refobjid = dep.relid
    where d.classid = 'pg_rewrite'::regclass and d.refclassid = 'pg_class'::regclass and rw.ev_class <> dep.relid)
  select string_agg(c.oid::regclass::text, ', ') into blocking
  from dep join pg_class c on c.oid = dep.relid join pg_namespace n on n.oid = c.relnamespace
  where n.nspname not in ('sysibm', 'kwgw');
  if blocking is not null then
    raise exception using errcode = '2BP01',
      message = format('%s cannot be upgraded while these views depend on it: %s', p_name, blocking);
  end if;
  execute format('drop view %s cascade', p_name);
  execute format('create view %s as %s', p_name, p_query);
end $$;
