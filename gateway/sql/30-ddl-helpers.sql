-- 30-ddl-helpers.sql - the routines that the translated DB2 DDL calls around its PostgreSQL DDL.
--
-- The dialect layer turns CREATE TABLE / VIEW / INDEX, ALTER TABLE and DROP INDEX into PostgreSQL
-- statements plus calls of these routines: creating a creator's schema on first use, naming the
-- primary key (at most 18 characters, free in the schema), making a unique index on the key columns
-- the primary index, resolving DROP INDEX through the recorded index creator, and recording what
-- the catalog views show. Names arrive in PostgreSQL form. Routines that write side tables or
-- create roles run as their owner and check the session's user first; the others run as the
-- caller, so PostgreSQL checks every privilege for real.

grant select on kwgw.table_space, kwgw.view_text, kwgw.extra_auth, kwgw.index_creator to public;

-- "JOE.EMP" as DB2 shows a qualified name.
create or replace function kwgw.db2qname(p_schema text, p_name text) returns text
  language sql immutable strict parallel safe
  return kwgw.db2name(p_schema) || '.' || kwgw.db2name(p_name);

-- The oid of a table or view, or the DB2 error for an undefined name.
create or replace function kwgw.relid(p_schema text, p_name text) returns oid
  language plpgsql stable set search_path = pg_catalog, pg_temp as $$
declare
  r oid;
begin
  select c.oid into r from pg_class c join pg_namespace n on n.oid = c.relnamespace
  where n.nspname = p_schema and c.relname = p_name and c.relkind in ('r', 'p', 'v', 'm', 'f');
  if r is null then
    raise exception using errcode = '42P01',
      message = format('%s IS AN UNDEFINED NAME', kwgw.db2qname(p_schema, p_name));
  end if;
  return r;
end $$;

-- Whether the session's user may act as the owner of a relation (owner, member of it, superuser).
create or replace function kwgw.session_owns(p_rel oid) returns boolean
  language sql stable
  return coalesce((select pg_has_role(session_user, c.relowner, 'USAGE') from pg_class c where c.oid = p_rel),
                  false);

create or replace function kwgw.require_owner(p_rel oid) returns void
  language plpgsql stable set search_path = pg_catalog, pg_temp as $$
begin
  if not kwgw.session_owns(p_rel) then
    raise exception using errcode = '42501', message = format('%s DOES NOT HAVE THE PRIVILEGE TO ALTER %s',
      kwgw.db2name(session_user), (select kwgw.db2qname(n.nspname, c.relname)
                                   from pg_class c join pg_namespace n on n.oid = c.relnamespace
                                   where c.oid = p_rel));
  end if;
end $$;

-- DB2 has no schema privilege: a creator's tables are guarded by their own grants alone, so every
-- creator schema is open (USAGE) to PUBLIC, also one that was made without the gateway.
create or replace function kwgw.share_schema(p_schema text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
begin
  -- Only a creator's schema: owned by the role of its own name.
  if exists (select from pg_namespace n where n.nspname = p_schema and char_length(p_schema) <= 8
               and n.nspname not in ('pg_catalog', 'information_schema', 'kwgw', 'kwgw_fn', 'public', 'sysibm')
               and n.nspname !~ '^pg_' and pg_get_userbyid(n.nspowner) = n.nspname
               and not exists (select from aclexplode(coalesce(n.nspacl, acldefault('n', n.nspowner))) a
                               where a.grantee = 0 and a.privilege_type = 'USAGE')) then
    execute format('grant usage on schema %I to public', p_schema);
  end if;
end $$;

-- The first CREATE under a creator makes its schema, owned by the role of the same name (created
-- NOLOGIN when it does not exist). A user may create objects for himself, for a role he is a
-- member of, and a superuser for anyone, as DB2 lets SYSADM.
create or replace function kwgw.ensure_creator(p_creator text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  me text := session_user;
begin
  if exists (select from pg_namespace where nspname = p_creator) then
    perform kwgw.share_schema(p_creator);
    return;
  end if;
  if char_length(p_creator) > 8 then
    raise exception using errcode = '42622',
      message = format('THE NAME %s IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 8', kwgw.db2name(p_creator));
  end if;
  if p_creator <> me and not (select rolsuper from pg_roles where rolname = me)
     and not (exists (select from pg_roles where rolname = p_creator) and pg_has_role(me, p_creator, 'MEMBER')) then
    raise exception using errcode = '42501',
      message = format('%s DOES NOT HAVE THE PRIVILEGE TO CREATE OBJECTS FOR CREATOR %s',
                       kwgw.db2name(me), kwgw.db2name(p_creator));
  end if;
  begin
    if not exists (select from pg_roles where rolname = p_creator) then
      execute format('create role %I nologin', p_creator);
    end if;
  exception when duplicate_object or unique_violation then
    null;  -- another session created it just now
  end;
  begin
    execute format('create schema %I authorization %I', p_creator, p_creator);
  exception when duplicate_schema or unique_violation then
    null;
  end;
  perform kwgw.share_schema(p_creator);
end $$;

-- Grantees need not exist in DB2: the role of a new grantee is created NOLOGIN on first use.
create or replace function kwgw.ensure_grantee(p_role text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
begin
  if p_role is null or exists (select from pg_roles where rolname = p_role) then
    return;
  end if;
  if char_length(p_role) > 8 then
    raise exception using errcode = '42622',
      message = format('THE NAME %s IS TOO LONG. MAXIMUM ALLOWABLE SIZE IS 8', kwgw.db2name(p_role));
  end if;
  execute format('create role %I nologin', p_role);
exception when duplicate_object or unique_violation then
  null;
end $$;

-- The DB2 database and table space a table was created in (IN DATABASE d / IN d.ts).
create or replace function kwgw.record_table(p_schema text, p_table text, p_database text, p_tablespace text)
  returns void language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  r oid := kwgw.relid(p_schema, p_table);
begin
  perform kwgw.require_owner(r);
  insert into kwgw.table_space values (r, upper(coalesce(p_database, 'DSNDB04')), upper(p_tablespace))
  on conflict (relid) do update set dbname = excluded.dbname, tsname = excluded.tsname;
end $$;

-- The CREATE VIEW statement as the client wrote it, for SYSVIEWS.
create or replace function kwgw.record_view(p_schema text, p_view text, p_text text, p_check text)
  returns void language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare
  r oid := kwgw.relid(p_schema, p_view);
begin
  perform kwgw.require_owner(r);
  insert into kwgw.view_text values (r, p_text, coalesce(p_check, 'N'))
  on conflict (relid) do update set stmt = excluded.stmt, check_option = excluded.check_option;
end $$;

-- The DB2 creator of an index (the qualifier DROP INDEX resolves it by).
create or replace function kwgw.record_index(p_index oid, p_creator text) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
begin
  perform kwgw.require_owner((select indrelid from pg_index where indexrelid = p_index));
  insert into kwgw.index_creator values (p_index, p_creator)
  on conflict (indexrelid) do update set creator = excluded.creator;
end $$;

create or replace function kwgw.forget_index(p_index oid) returns void
  language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
begin
  perform kwgw.require_owner((select indrelid from pg_index where indexrelid = p_index));
  delete from kwgw.index_creator where indexrelid = p_index;
end $$;

-- A name for a table's primary key (and so for its index): at most 18 characters, free among the
-- relations of the schema and the constraints of the table. EMP gets EMP_PK.
create or replace function kwgw.free_pk_name(p_rel oid) returns text
  language plpgsql stable set search_path = pg_catalog, pg_temp as $$
declare
  nsp oid;
  t text;
  suffix text;
  cand text;
  n int := 0;
begin
  select relnamespace, relname into nsp, t from pg_class where oid = p_rel;
  loop
    suffix := case when t = upper(t) and t <> lower(t) then '_PK' else '_pk' end
              || case when n = 0 then '' else n::text end;
    cand := left(t, 18 - char_length(suffix)) || suffix;
    exit when not exists (select from pg_class where relnamespace = nsp and relname = cand)
          and not exists (select from pg_constraint where conrelid = p_rel and conname = cand);
    n := n + 1;
  end loop;
  return cand;
end $$;

-- PRIMARY KEY (c...) of CREATE TABLE and ALTER TABLE. DB2 refuses a key column that can hold nulls.
create or replace procedure kwgw.add_primary_key(p_schema text, p_table text, variadic p_columns text[])
  language plpgsql set search_path = pg_catalog, pg_temp as $$
declare
  r oid := kwgw.relid(p_schema, p_table);
  c text;
  nullable boolean;
begin
  foreach c in array p_columns loop
    select not attnotnull into nullable from pg_attribute
    where attrelid = r and attname = c and attnum > 0 and not attisdropped;
    if nullable is null then
      raise exception using errcode = '42703',
        message = format('%s IS NOT A COLUMN OF TABLE %s', kwgw.db2name(c), kwgw.db2qname(p_schema, p_table));
    elsif nullable then
      raise exception using errcode = '42831',
        message = format('%s CANNOT BE A COLUMN OF A PRIMARY KEY BECAUSE IT CAN CONTAIN NULL VALUES',
                         kwgw.db2name(c));
    end if;
  end loop;
  execute format('alter table %I.%I add constraint %I primary key (%s)', p_schema, p_table,
                 kwgw.free_pk_name(r),
                 (select string_agg(quote_ident(x), ', ' order by o)
                  from unnest(p_columns) with ordinality as u(x, o)));
end $$;

-- ALTER TABLE ... DROP PRIMARY KEY: the key and, as in DB2, the foreign keys that refer to it.
create or replace procedure kwgw.drop_primary_key(p_schema text, p_table text)
  language plpgsql set search_path = pg_catalog, pg_temp as $$
declare
  r oid := kwgw.relid(p_schema, p_table);
  pk text;
begin
  select conname into pk from pg_constraint where conrelid = r and contype = 'p';
  if pk is null then
    raise exception using errcode = '42704',
      message = format('%s HAS NO PRIMARY KEY', kwgw.db2qname(p_schema, p_table));
  end if;
  execute format('alter table %I.%I drop constraint %I cascade', p_schema, p_table, pk);
end $$;

-- ALTER TABLE forms that change nothing PostgreSQL has (VALIDPROC, AUDIT, ...): the table must exist.
create or replace procedure kwgw.check_table(p_schema text, p_table text)
  language plpgsql set search_path = pg_catalog, pg_temp as $$
begin
  perform kwgw.require_owner(kwgw.relid(p_schema, p_table));
end $$;

-- After CREATE [UNIQUE] INDEX: a unique ascending index on exactly the primary key's columns
-- becomes the table's primary index, replacing the index PostgreSQL made for the key, as DB2 makes
-- such an index the primary index. Then the creator is recorded and CLUSTER applied.
create or replace procedure kwgw.index_created(p_schema text, p_index text, p_creator text, p_cluster boolean)
  language plpgsql set search_path = pg_catalog, pg_temp as $$
declare
  idx oid;
  tbl oid;
  tblname text;
  pk record;
begin
  select i.indexrelid, i.indrelid, t.relname into idx, tbl, tblname
  from pg_index i join pg_class c on c.oid = i.indexrelid join pg_namespace n on n.oid = c.relnamespace
  join pg_class t on t.oid = i.indrelid
  where n.nspname = p_schema and c.relname = p_index;
  if idx is null then
    raise exception using errcode = '42704',
      message = format('%s IS AN UNDEFINED NAME', kwgw.db2qname(p_schema, p_index));
  end if;
  select k.conname, k.conindid into pk
  from pg_constraint k join pg_index pi on pi.indexrelid = k.conindid, pg_index ni
  where k.conrelid = tbl and k.contype = 'p' and ni.indexrelid = idx and ni.indisunique
    and ni.indkey::text = pi.indkey::text and ni.indoption::text = pi.indoption::text
    and ni.indexprs is null and ni.indpred is null
    and not exists (select from kwgw.index_creator ic where ic.indexrelid = k.conindid);
  if pk.conindid is not null then
    execute format('drop index %I.%I', p_schema, p_index);
    execute format('alter table %I.%I rename constraint %I to %I', p_schema, tblname, pk.conname, p_index);
    idx := pk.conindid;
  end if;
  perform kwgw.record_index(idx, p_creator);
  if p_cluster then
    execute format('alter table %I.%I cluster on %I', p_schema, tblname, p_index);
  end if;
end $$;

-- DROP INDEX creator.name: the index whose recorded creator is the given one (an index without a
-- record belongs to its table's creator). The primary index cannot go while its key exists: a
-- named one goes back to the key's own name, the key's own index stays.
create or replace procedure kwgw.drop_index(p_creator text, p_index text)
  language plpgsql set search_path = pg_catalog, pg_temp as $$
declare
  ix record;
begin
  select i.indexrelid, n.nspname, t.relname as tblname, k.conname, ic.creator is not null as named
  into ix
  from pg_index i join pg_class c on c.oid = i.indexrelid join pg_namespace n on n.oid = c.relnamespace
  join pg_class t on t.oid = i.indrelid
  left join kwgw.index_creator ic on ic.indexrelid = i.indexrelid
  left join pg_constraint k on k.conindid = i.indexrelid and k.conrelid = i.indrelid and k.contype = 'p'
  where c.relname = p_index and coalesce(ic.creator, n.nspname) = p_creator
  limit 1;
  if ix.indexrelid is null then
    raise exception using errcode = '42704',
      message = format('%s IS AN UNDEFINED NAME', kwgw.db2qname(p_creator, p_index));
  end if;
  if ix.conname is null then
    execute format('drop index %I.%I', ix.nspname, p_index);
  elsif ix.named then
    perform kwgw.require_owner((select indrelid from pg_index where indexrelid = ix.indexrelid));
    execute format('alter table %I.%I rename constraint %I to %I', ix.nspname, ix.tblname, ix.conname,
                   kwgw.free_pk_name((select indrelid from pg_index where indexrelid = ix.indexrelid)));
    perform kwgw.forget_index(ix.indexrelid);
  else
    perform kwgw.require_owner((select indrelid from pg_index where indexrelid = ix.indexrelid));
  end if;
end $$;
