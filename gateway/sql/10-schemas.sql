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
