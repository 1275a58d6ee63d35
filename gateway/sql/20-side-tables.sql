-- 20-side-tables.sql - what DB2 keeps about objects and PostgreSQL does not, and the registry of
-- DB2 databases and table spaces.
--
-- The registry lists the databases and table spaces that CREATE TABLE ... IN may name; the command
-- line fills it through add_database / add_tablespace. The side tables hold, per relation oid, the
-- DB2 database and table space of a table, the original CREATE VIEW text, ALTER and INDEX grants,
-- and the DB2 creator of an index. An event trigger forgets the rows of dropped relations, so a row
-- always describes a live object. Users never write these tables directly: the helper routines in
-- 30-ddl-helpers.sql check the caller and write them. Rows survive every re-run of this file.

create table if not exists kwgw.database (
  dbname text primary key check (char_length(dbname) between 1 and 8)
);
create table if not exists kwgw.tablespace (
  dbname text not null references kwgw.database on delete cascade,
  tsname text not null check (char_length(tsname) between 1 and 8),
  primary key (dbname, tsname)
);
-- DSNDB04 is DB2's default database: tables created without an IN clause live there.
insert into kwgw.database values ('DSNDB04') on conflict do nothing;

create table if not exists kwgw.table_space (
  relid oid primary key,
  dbname text not null,
  tsname text               -- null: the table space DB2 creates implicitly for the table
);
create table if not exists kwgw.view_text (
  relid oid primary key,
  stmt text not null,       -- the CREATE VIEW statement as the client sent it
  check_option char(1) not null default 'N'
);
create table if not exists kwgw.extra_auth (
  relid oid not null,
  grantor oid not null,
  grantee oid not null,     -- 0 is PUBLIC
  alterauth char(1) not null default ' ' check (alterauth in (' ', 'Y', 'G')),
  indexauth char(1) not null default ' ' check (indexauth in (' ', 'Y', 'G')),
  primary key (relid, grantor, grantee)
);
create table if not exists kwgw.index_creator (
  indexrelid oid primary key,
  creator text not null     -- the DB2 creator (PostgreSQL form) that qualifies the index name
);

grant select on kwgw.database, kwgw.tablespace to public;

-- Forget the side rows of relations as they are dropped (DROP TABLE, DROP SCHEMA ... CASCADE, ...).
create or replace function kwgw.forget_dropped() returns event_trigger
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  o record;
begin
  for o in select objid from pg_event_trigger_dropped_objects()
           where classid = 'pg_class'::regclass and objsubid = 0 loop
    delete from kwgw.table_space where relid = o.objid;
    delete from kwgw.view_text where relid = o.objid;
    delete from kwgw.extra_auth where relid = o.objid;
    delete from kwgw.index_creator where indexrelid = o.objid;
  end loop;
end $$;

do $$
begin
  if not exists (select from pg_event_trigger where evtname = 'kwgw_forget_dropped') then
    create event trigger kwgw_forget_dropped on sql_drop execute function kwgw.forget_dropped();
  end if;
end $$;

-- A DB2 database or table space name as the registry keeps it: folded to upper case, at most 8
-- characters, starting with a letter, #, @ or $.
create or replace function kwgw.registry_name(p_name text, p_what text) returns text
  language plpgsql immutable set search_path = pg_catalog, pg_temp as $$
declare
  n text := upper(btrim(p_name));
begin
  if n is null or n = '' then
    raise exception using errcode = '42602', message = format('A %s NAME IS REQUIRED', upper(p_what));
  end if;
  if char_length(n) > 8 then
    raise exception using errcode = '42622',
      message = format('THE NAME %s IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 8', n);
  end if;
  if n !~ '^[A-Z#@$][A-Z0-9_#@$]*$' then
    raise exception using errcode = '42602', message = format('%s IS NOT A VALID %s NAME', n, upper(p_what));
  end if;
  return n;
end $$;

-- Registry maintenance, for the command line (kwgateway database ...). Adding what exists is a no-op.
create or replace function kwgw.add_database(p_database text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
begin
  insert into kwgw.database values (kwgw.registry_name(p_database, 'database')) on conflict do nothing;
end $$;

create or replace function kwgw.add_tablespace(p_database text, p_tablespace text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  d text := kwgw.registry_name(p_database, 'database');
  t text := kwgw.registry_name(p_tablespace, 'table space');
begin
  insert into kwgw.database values (d) on conflict do nothing;
  insert into kwgw.tablespace values (d, t) on conflict do nothing;
end $$;

-- Removing refuses while a table still lives in the database or table space.
create or replace function kwgw.drop_tablespace(p_database text, p_tablespace text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  d text := kwgw.registry_name(p_database, 'database');
  t text := kwgw.registry_name(p_tablespace, 'table space');
begin
  if exists (select from kwgw.table_space s join pg_class c on c.oid = s.relid
             where s.dbname = d and s.tsname = t) then
    raise exception using errcode = '2BP01', message = format('TABLE SPACE %s.%s IS NOT EMPTY', d, t);
  end if;
  delete from kwgw.tablespace where dbname = d and tsname = t;
end $$;

create or replace function kwgw.drop_database(p_database text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  d text := kwgw.registry_name(p_database, 'database');
begin
  if d = 'DSNDB04' then
    raise exception using errcode = '42501', message = 'THE DEFAULT DATABASE DSNDB04 CANNOT BE DROPPED';
  end if;
  if exists (select from kwgw.table_space s join pg_class c on c.oid = s.relid where s.dbname = d) then
    raise exception using errcode = '2BP01', message = format('DATABASE %s IS NOT EMPTY', d);
  end if;
  delete from kwgw.database where dbname = d;
end $$;

revoke execute on function kwgw.add_database(text), kwgw.add_tablespace(text, text),
  kwgw.drop_tablespace(text, text), kwgw.drop_database(text) from public;

-- CREATE DATABASE and CREATE TABLESPACE in DB2 SQL: procedures so that they can stand as the
-- statement of a plan. Only whoever may maintain the registry may run them.
create or replace procedure kwgw.create_database(p_database text)
  language plpgsql set search_path = pg_catalog, pg_temp as $$
begin
  perform kwgw.add_database(p_database);
end $$;

create or replace procedure kwgw.create_tablespace(p_database text, p_tablespace text)
  language plpgsql set search_path = pg_catalog, pg_temp as $$
begin
  if not exists (select from kwgw.database where dbname = upper(p_database)) then
    raise exception using errcode = '42704', message = format('%s IS AN UNDEFINED NAME', upper(p_database));
  end if;
  perform kwgw.add_tablespace(p_database, p_tablespace);
end $$;

revoke execute on procedure kwgw.create_database(text), kwgw.create_tablespace(text, text) from public;

-- CREATE TABLE ... IN DATABASE d / IN d.ts / IN ts: the named database and table space must be
-- registered (a table space alone belongs to DSNDB04); anything else is an undefined name.
create or replace function kwgw.check_space(p_database text, p_tablespace text) returns void
  language plpgsql stable security definer set search_path = pg_catalog, pg_temp as $$
declare
  d text := upper(coalesce(p_database, 'DSNDB04'));
  t text := upper(p_tablespace);
begin
  if not exists (select from kwgw.database where dbname = d) then
    raise exception using errcode = '42704', message = format('%s IS AN UNDEFINED NAME', d);
  end if;
  if t is not null and not exists (select from kwgw.tablespace where dbname = d and tsname = t) then
    raise exception using errcode = '42704', message = format('%s.%s IS AN UNDEFINED NAME', d, t);
  end if;
end $$;
