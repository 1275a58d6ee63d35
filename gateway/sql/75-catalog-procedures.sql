-- 75-catalog-procedures.sql - sp_tables, sp_columns, sp_statistics, sp_special_columns,
-- sp_stored_procedures, sp_sproc_columns, sp_datatype_info and sp_server_info as SQL functions that
-- the session calls in the client's own session, every argument text (NULL: not given, names in DB2
-- form). Results have Sybase ASE's columns in ASE's order, which jTDS, FreeTDS ODBC and DBD::Sybase
-- read by position (sp_columns and sp_sproc_columns carry ss_data_type and colid before column_def),
-- with what the DB2 catalog shows: DB2 names and types, the creator as owner, a NULL qualifier,
-- ODBC 2 type codes (DATE 9, TIME 10, TIMESTAMP 11) as Sybase sends them.
-- Tables: every row of SYSIBM.SYSTABLES (the SYSIBM views as SYSTEM TABLE), as a DB2 user reads
-- the whole catalog; a list cut to SYSTABAUTH would hide what SYSTABLES shows him (ACCESSIBLE_TABLES
-- says N). Procedures: the stored requests of every PCSQL_HOSTLIB the caller may read, under its
-- creator, with their &1, &2 ... and &NAME markers as parameters; and the catalog procedures without
-- an owner, since the session answers them by name alone. Names, owners and columns are LIKE
-- patterns (%, _, escape \ or [_]); sp_statistics and sp_special_columns name one table, the current
-- user's when no owner is given. Every statement here can run again on a database that has it.

-- DB2's types as ODBC describes them, one row per type: how a column of the catalog's COLTYPE (and,
-- for FLOAT, LENGTH) is reported. precision / octets: fixed values, or NULL when they are the
-- column's LENGTH (plus octets_extra); scaled: the scale is the column's SCALE; max_precision is
-- the largest precision or length the DDL accepts.
call kwgw.install_view('kwgw.db2_types', $view$
select t.type_name::varchar(32) as type_name, t.coltype::text as coltype, t.coltype_length::int4 as coltype_length,
  t.data_type::int2 as data_type, t.precision::int4 as precision, t.octets::int4 as octets,
  t.octets_extra::int4 as octets_extra, t.scale::int2 as scale, t.scaled as scaled, t.radix::int2 as radix,
  t.max_precision::int4 as max_precision, t.literal_prefix::varchar(32) as literal_prefix,
  t.literal_suffix::varchar(32) as literal_suffix, t.create_params::varchar(32) as create_params,
  t.case_sensitive::int2 as case_sensitive, t.searchable::int2 as searchable,
  t.unsigned_attribute::int2 as unsigned_attribute, t.minimum_scale::int2 as minimum_scale,
  t.maximum_scale::int2 as maximum_scale, t.sql_data_type::int2 as sql_data_type,
  t.sql_datetime_sub::int2 as sql_datetime_sub, t.wire_type::int2 as wire_type
from (values
  -- name, COLTYPE, LENGTH, ODBC type, precision, octets, +octets, scale, scaled, radix, max precision,
  -- literal prefix and suffix, create params, case sensitive, searchable, unsigned, minimum and
  -- maximum scale, SQL type, datetime subcode, wire type
  ('LONG VARCHAR', 'LONGVAR',  null, -1, null, null, 0, null, false, null, 32700, '''', '''',              null, 1, 1, null, null, null, -1, null,   35),
  ('CHAR',         'CHAR',     null,  1, null, null, 0, null, false, null,   254, '''', '''', 'length',          1, 3, null, null, null,  1, null,   47),
  ('DECIMAL',      'DECIMAL',  null,  3, null, null, 2, null,  true,   10,    15, null, null, 'precision,scale', 0, 2,    0,    0,   15,  3, null,   47),
  ('INTEGER',      'INTEGER',  null,  4,   10,    4, 0,    0, false,   10,    10, null, null,              null, 0, 2,    0,    0,    0,  4, null,   38),
  ('SMALLINT',     'SMALLINT', null,  5,    5,    2, 0,    0, false,   10,     5, null, null,              null, 0, 2,    0,    0,    0,  5, null,   38),
  ('REAL',         'FLOAT',       4,  7,    7,    4, 0, null, false,   10,     7, null, null,              null, 0, 2,    0, null, null,  7, null,  109),
  ('FLOAT',        'FLOAT',       8,  8,   15,    8, 0, null, false,   10,    15, null, null,              null, 0, 2,    0, null, null,  8, null,  109),
  ('DATE',         'DATE',     null,  9,   10,    6, 0, null, false, null,    10, '''', '''',              null, 0, 2, null, null, null,  9,    1,   47),
  ('TIME',         'TIME',     null, 10,    8,    6, 0,    0, false, null,     8, '''', '''',              null, 0, 2, null,    0,    0,  9,    2,   47),
  ('TIMESTAMP',    'TIMESTMP', null, 11,   26,   16, 0,    6, false, null,    26, '''', '''',              null, 0, 2, null,    6,    6,  9,    3,   47),
  ('VARCHAR',      'VARCHAR',  null, 12, null, null, 0, null, false, null, 32704, '''', '''', 'max length',      1, 3, null, null, null, 12, null,   39)
) as t(type_name, coltype, coltype_length, data_type, precision, octets, octets_extra, scale, scaled, radix,
       max_precision, literal_prefix, literal_suffix, create_params, case_sensitive, searchable,
       unsigned_attribute, minimum_scale, maximum_scale, sql_data_type, sql_datetime_sub, wire_type)$view$);

-- How one column of a DB2 type (catalog COLTYPE, LENGTH, SCALE) is described: ODBC 2 precision and
-- length, the wire type the gateway sends it as (character data past 255 bytes as LONGCHAR).
create or replace function kwgw.odbc_type(p_coltype text, p_length int, p_scale int)
returns table (type_name varchar(32), data_type int2, "precision" int4, length int4, scale int2, radix int2,
               sql_data_type int2, sql_datetime_sub int2, char_octet_length int4, wire_type int2)
language sql stable
begin atomic
  select t.type_name, t.data_type, coalesce(t.precision, p_length), coalesce(t.octets, p_length + t.octets_extra),
    case when t.scaled then p_scale::int2 else t.scale end, t.radix, t.sql_data_type, t.sql_datetime_sub,
    case when t.data_type in (-1, 1, 12) then p_length end,
    case when t.data_type in (1, 12) and p_length > 255 then 175::int2 else t.wire_type end
  from kwgw.db2_types t
  where t.coltype = rtrim(p_coltype) and (t.coltype_length is null or t.coltype_length = p_length);
end;

-- Every COLTYPE the catalog views can show has exactly one description.
do $$
declare
  missing text;
begin
  select string_agg(c || '/' || l, ', ') into missing
  from (values ('INTEGER', 4), ('SMALLINT', 2), ('FLOAT', 4), ('FLOAT', 8), ('DECIMAL', 9), ('CHAR', 3),
               ('VARCHAR', 15), ('LONGVAR', 32700), ('DATE', 4), ('TIME', 3), ('TIMESTMP', 10)) as k(c, l)
  where (select count(*) from kwgw.odbc_type(k.c, k.l, 0)) <> 1;
  if missing is not null or (select count(*) from kwgw.db2_types) <> 11 then
    raise exception 'kwgw.db2_types does not describe every catalog type once: %', coalesce(missing, 'row count');
  end if;
end $$;

-- A LIKE pattern argument: not given (NULL or blank) matches every name. A one-character class
-- [x], the escape jTDS writes for a wildcard its caller escaped with \ (CL[_]%), is that character
-- escaped (CL\_%); classes of several characters are not patterns here and match themselves.
create or replace function kwgw.catalog_pattern(p text) returns text
  language sql immutable
  return case when p is null or btrim(p) = '' then '%' else regexp_replace(p, '\[([^]])\]', '\\\1', 'g') end;

-- Whether an argument was given as an empty string (ODBC's enumeration calls pass empty names).
create or replace function kwgw.catalog_blank(p text) returns boolean
  language sql immutable
  return p is not null and btrim(p) = '';

-- A one-letter option (Y/N, R/V, C/T, O/U, Q/E): its upper-case letter, the default when not given;
-- anything else is refused with a message naming the parameter.
create or replace function kwgw.catalog_flag(p_value text, p_allowed text, p_default text, p_parameter text)
  returns text language plpgsql immutable as $$
declare
  v text := upper(btrim(p_value));
begin
  if v is null or v = '' then
    return p_default;
  end if;
  if char_length(v) <> 1 or strpos(p_allowed, v) = 0 then
    raise exception using errcode = '22P02',
      message = format('%s IS NOT A VALID VALUE FOR @%s: USE ONE OF %s', p_value, p_parameter,
                       array_to_string(regexp_split_to_array(p_allowed, ''), ', '));
  end if;
  return v;
end $$;

-- A name argument the procedure cannot do without (the one table sp_statistics and
-- sp_special_columns describe): refused with a message naming the parameter when not given.
create or replace function kwgw.catalog_required(p_value text, p_parameter text) returns text
  language plpgsql immutable as $$
begin
  if p_value is null or btrim(p_value) = '' then
    raise exception using errcode = '22P02', message = format('@%s IS REQUIRED', p_parameter);
  end if;
  return p_value;
end $$;

-- A numeric argument given as decimal text; NULL when not given.
create or replace function kwgw.catalog_number(p_value text, p_parameter text) returns int
  language plpgsql immutable as $$
begin
  if p_value is null or btrim(p_value) = '' then
    return null;
  end if;
  if btrim(p_value) !~ '^[-+]?[0-9]{1,9}$' then
    raise exception using errcode = '22P02',
      message = format('%s IS NOT A VALID VALUE FOR @%s: A NUMBER IS REQUIRED', p_value, p_parameter);
  end if;
  return btrim(p_value)::int;
end $$;

-- The table types asked for: a list such as 'TABLE','VIEW' (quoted items, as ODBC sends them; jTDS
-- puts double quotes around the list) or TABLE, VIEW; NULL for all types.
create or replace function kwgw.catalog_table_types(p text) returns text[]
  language sql immutable
begin atomic
  select case when bool_or(item = '%') then null else array_agg(item) end
  from (select upper(btrim(btrim(x), '''')) as item
        from regexp_split_to_table(btrim(btrim(p), '"'), ',') as x) items
  where item <> '' and btrim(p) <> '';
end;

-- The table type sp_tables shows for a SYSTABLES row.
create or replace function kwgw.catalog_table_type(p_creator text, p_type text) returns text
  language sql immutable
  return case when p_creator = 'SYSIBM' then 'SYSTEM TABLE'
              when p_type = 'V' then 'VIEW' when p_type = 'A' then 'ALIAS' else 'TABLE' end;

-- A column default as DB2 writes it: a number, a string literal as written, NULL, USER or a
-- CURRENT register; the forms the gateway's DDL produces are recognised, any other expression (of a
-- table made behind the gateway) is shown as PostgreSQL keeps it.
create or replace function kwgw.db2_default(p_expr text) returns text
  language plpgsql immutable as $fn$
declare
  e text := btrim(p_expr);
  m text[];
  n text;
begin
  if e is null then
    return null;
  end if;
  if e ~ '^CURRENT_DATE$' then
    return 'CURRENT DATE';
  elsif e ~ '^(LOCALTIME|CURRENT_TIME)(\(\d+\))?$' then
    return 'CURRENT TIME';
  elsif e ~ '^(LOCALTIMESTAMP|CURRENT_TIMESTAMP)(\(\d+\))?$' or e = 'now()' then
    return 'CURRENT TIMESTAMP';
  elsif e ~ '^\(*kwgw\.db2name\(\(*(SESSION_USER|CURRENT_USER)\)*::text\)\)*(::[a-z ]+(\(\d+\))?)?$' then
    return 'USER';
  elsif e ~ '^NULL(::[a-z ]+(\([0-9,]+\))?)*$' then
    return 'NULL';
  end if;
  -- a date, time or timestamp literal kept as written, a string, or a quoted number
  m := regexp_match(e, $re$^(?:kwgw\.(?:date|time|timestamp)_lit\()?('(?:[^']|'')*')(?:::[a-z ]+(?:\([0-9,]+\))?)*\)?(?:::[a-z ]+(?:\([0-9,]+\))?)*$$re$);
  if m is not null then
    n := substr(m[1], 2, char_length(m[1]) - 2);
    return case when n ~ '^[-+]?[0-9]+(\.[0-9]*)?([eE][-+]?[0-9]+)?$' then n else m[1] end;
  end if;
  -- a number, possibly negated and cast: (- 5.5::numeric(2,1)), ('1500'::numeric)::double precision
  n := regexp_replace(regexp_replace(e, '::[a-z ]+(\([0-9,]+\))?', '', 'g'), '[()'' ]', '', 'g');
  if n ~ '^[-+]?[0-9]+(\.[0-9]*)?([eE][-+]?[0-9]+)?$' then
    return n;
  end if;
  return e;
end $fn$;

-- The columns of the catalog with their ODBC description and the DB2 form of their default.
call kwgw.install_view('kwgw.odbc_columns', $view$
select c.tbcreator::text as tbcreator, c.tbname::text as tbname, c.name::text as name, c.colno, c.keyseq,
  c.nulls, nullif(c.remarks, '') as remarks, t.type_name, t.data_type, t.precision, t.length, t.scale, t.radix,
  t.sql_data_type, t.sql_datetime_sub, t.char_octet_length, t.wire_type,
  (case when c."default" = 'Y' then
     (select kwgw.db2_default(pg_get_expr(d.adbin, d.adrelid))
      from pg_attrdef d join pg_attribute a on a.attrelid = d.adrelid and a.attnum = d.adnum
      join pg_class r on r.oid = a.attrelid join pg_namespace ns on ns.oid = r.relnamespace
      where ns.nspname = kwgw.pgname(c.tbcreator::text) and r.relname = kwgw.pgname(c.tbname::text)
        and a.attname = kwgw.pgname(c.name::text)) end) as column_def
from sysibm.syscolumns c
cross join lateral kwgw.odbc_type(c.coltype, c.length, c.scale) t$view$);

-- The rows the procedures answer. A function's declared result loses the lengths of its columns,
-- a view's row type keeps them, so that VARCHAR(32) goes out as VARCHAR(32) and not as text.
call kwgw.install_view('kwgw.sp_tables_row', $view$
select null::varchar(32) as table_qualifier, null::varchar(32) as table_owner,
  null::varchar(32) as table_name, null::varchar(32) as table_type, null::varchar(254) as remarks
where false$view$);

call kwgw.install_view('kwgw.sp_columns_row', $view$
select null::varchar(32) as table_qualifier, null::varchar(32) as table_owner,
  null::varchar(32) as table_name, null::varchar(32) as column_name, null::int2 as data_type,
  null::varchar(32) as type_name, null::int4 as "precision", null::int4 as length, null::int2 as scale,
  null::int2 as radix, null::int2 as nullable, null::varchar(254) as remarks, null::int2 as ss_data_type,
  null::int2 as colid, null::varchar(255) as column_def, null::int2 as sql_data_type,
  null::int2 as sql_datetime_sub, null::int4 as char_octet_length, null::int4 as ordinal_position,
  null::varchar(3) as is_nullable
where false$view$);

call kwgw.install_view('kwgw.sp_statistics_row', $view$
select null::varchar(32) as table_qualifier, null::varchar(32) as table_owner,
  null::varchar(32) as table_name, null::int2 as non_unique, null::varchar(32) as index_qualifier,
  null::varchar(32) as index_name, null::int2 as type, null::int2 as seq_in_index,
  null::varchar(32) as column_name, null::char(1) as "collation", null::int4 as cardinality,
  null::int4 as pages, null::varchar(128) as filter_condition
where false$view$);

call kwgw.install_view('kwgw.sp_special_columns_row', $view$
select null::int2 as scope, null::varchar(32) as column_name, null::int2 as data_type,
  null::varchar(32) as type_name, null::int4 as "precision", null::int4 as length, null::int2 as scale,
  null::int2 as pseudo_column
where false$view$);

call kwgw.install_view('kwgw.sp_stored_procedures_row', $view$
select null::varchar(32) as procedure_qualifier, null::varchar(32) as procedure_owner,
  null::varchar(32) as procedure_name, null::int4 as num_input_params, null::int4 as num_output_params,
  null::int4 as num_result_sets, null::varchar(254) as remarks, null::int2 as procedure_type
where false$view$);

call kwgw.install_view('kwgw.sp_sproc_columns_row', $view$
select null::varchar(32) as procedure_qualifier, null::varchar(32) as procedure_owner,
  null::varchar(32) as procedure_name, null::varchar(32) as column_name, null::int2 as column_type,
  null::int2 as data_type, null::varchar(32) as type_name, null::int4 as "precision", null::int4 as length,
  null::int2 as scale, null::int2 as radix, null::int2 as nullable, null::varchar(254) as remarks,
  null::int2 as ss_data_type, null::int2 as colid, null::varchar(255) as column_def,
  null::int2 as sql_data_type, null::int2 as sql_datetime_sub, null::int4 as char_octet_length,
  null::int4 as ordinal_position, null::varchar(3) as is_nullable
where false$view$);

call kwgw.install_view('kwgw.sp_datatype_info_row', $view$
select null::varchar(32) as type_name, null::int2 as data_type, null::int4 as "precision",
  null::varchar(32) as literal_prefix, null::varchar(32) as literal_suffix,
  null::varchar(32) as create_params, null::int2 as nullable, null::int2 as case_sensitive,
  null::int2 as searchable, null::int2 as unsigned_attribute, null::int2 as money,
  null::int2 as auto_increment, null::varchar(32) as local_type_name, null::int2 as minimum_scale,
  null::int2 as maximum_scale, null::int2 as sql_data_type, null::int2 as sql_datetime_sub,
  null::int4 as num_prec_radix, null::int2 as interval_precision
where false$view$);

call kwgw.install_view('kwgw.sp_server_info_row', $view$
select null::int4 as attribute_id, null::varchar(60) as attribute_name,
  null::varchar(255) as attribute_value
where false$view$);

-- sp_tables table_name, table_owner, table_qualifier, table_type. Besides the table list, ODBC's
-- enumerations: owner % with empty name and qualifier lists the creators; type % (quoted or not)
-- with nothing else given lists the table types (FreeTDS ODBC leaves the empty names out, so they
-- arrive as NULL); qualifier % with empty owner and name lists the qualifiers, and there are none.
-- The creators need an empty name: sp_tables NULL, '%' is every table of every creator.
create or replace function kwgw.sp_tables(p_table text, p_owner text, p_qualifier text, p_type text)
returns setof kwgw.sp_tables_row
language sql stable
begin atomic
  select * from (
  with mode as (
    select case
      when kwgw.catalog_blank(p_table) and kwgw.catalog_blank(p_qualifier) and p_owner = '%' then 'owners'
      when coalesce(btrim(p_table), '') = '' and coalesce(btrim(p_owner), '') = ''
           and coalesce(btrim(p_qualifier), '') = '' and btrim(p_type, ' ''"') = '%' then 'types'
      when kwgw.catalog_blank(p_table) and kwgw.catalog_blank(p_owner) and p_qualifier = '%' then 'qualifiers'
      else 'tables' end as m
  )
  select null::varchar(32) as table_qualifier, o.creator::varchar(32) as table_owner,
    null::varchar(32) as table_name, null::varchar(32) as table_type, null::varchar(254) as remarks
  from (select distinct t.creator::text as creator from sysibm.systables t) o, mode
  where mode.m = 'owners'
  union all
  select null, null, null, k.table_type::varchar(32), null
  from (values ('SYSTEM TABLE'), ('TABLE'), ('VIEW')) as k(table_type), mode
  where mode.m = 'types'
  union all
  select null, t.creator::text::varchar(32), t.name::varchar(32),
    kwgw.catalog_table_type(t.creator::text, t.type::text)::varchar(32), nullif(t.remarks, '')::varchar(254)
  from sysibm.systables t, mode
  where mode.m = 'tables'
    and t.name like kwgw.catalog_pattern(p_table) and t.creator::text like kwgw.catalog_pattern(p_owner)
    and (kwgw.catalog_table_types(p_type) is null
         or kwgw.catalog_table_type(t.creator::text, t.type::text) = any(kwgw.catalog_table_types(p_type)))
  ) u
  order by u.table_type collate "C", u.table_owner collate "C", u.table_name collate "C";
end;

-- sp_columns table_name, table_owner, table_qualifier, column_name: one row per column, by owner,
-- table and position. ss_data_type (the wire type) and colid sit before column_def as in ASE:
-- jTDS and DBD::Sybase skip them by position, FreeTDS ODBC passes them on. sql_data_type and
-- sql_datetime_sub are ODBC 3's (9 with 1, 2, 3 for the date and time types).
create or replace function kwgw.sp_columns(p_table text, p_owner text, p_qualifier text, p_column text)
returns setof kwgw.sp_columns_row
language sql stable
begin atomic
  select null::varchar(32), c.tbcreator::varchar(32), c.tbname::varchar(32), c.name::varchar(32), c.data_type,
    c.type_name, c.precision, c.length, c.scale, c.radix, (case when c.nulls = 'Y' then 1 else 0 end)::int2,
    c.remarks::varchar(254), c.wire_type, c.colno, left(c.column_def, 255)::varchar(255), c.sql_data_type,
    c.sql_datetime_sub, c.char_octet_length, c.colno::int4,
    (case when c.nulls = 'Y' then 'YES' else 'NO' end)::varchar(3)
  from kwgw.odbc_columns c
  where c.tbname like kwgw.catalog_pattern(p_table) and c.tbcreator like kwgw.catalog_pattern(p_owner)
    and c.name like kwgw.catalog_pattern(p_column)
  order by c.tbcreator collate "C", c.tbname collate "C", c.colno;
end;

-- The one table or view that sp_statistics and sp_special_columns describe: the owner's, or the
-- current user's when no owner is given (an unqualified DB2 name means the current SQLID).
create or replace function kwgw.catalog_table(p_table text, p_owner text)
returns table (creator text, name text, type text, card int4, npages int4)
language sql stable
begin atomic
  select t.creator::text, t.name::text, t.type::text, t.card, t.npages
  from sysibm.systables t
  where t.name = p_table
    and t.creator::text = coalesce(nullif(btrim(p_owner), ''), kwgw.db2name(current_user::text));
end;

-- sp_statistics table_name, table_owner, table_qualifier, index_name, is_unique, accuracy: first
-- the table's statistics (type 0: cardinality and pages, NULL while PostgreSQL has not counted
-- them), then one row per index column, unique indexes first; type 1 is the clustering index,
-- 3 any other; the index qualifier is the index's DB2 creator. is_unique Y keeps unique indexes
-- only; accuracy (Q or E) changes nothing, the statistics being whatever PostgreSQL last gathered.
create or replace function kwgw.sp_statistics(p_table text, p_owner text, p_qualifier text, p_index text,
                                              p_is_unique text, p_accuracy text)
returns setof kwgw.sp_statistics_row
language sql stable
begin atomic
  select kwgw.catalog_required(p_table, 'table_name'), kwgw.catalog_flag(p_is_unique, 'YN', 'N', 'is_unique'),
    kwgw.catalog_flag(p_accuracy, 'QE', 'Q', 'accuracy');
  select * from (
  select null::varchar(32) as table_qualifier, t.creator::varchar(32) as table_owner,
    t.name::varchar(32) as table_name, null::int2 as non_unique, null::varchar(32) as index_qualifier,
    null::varchar(32) as index_name, 0::int2 as type, null::int2 as seq_in_index, null::varchar(32) as column_name,
    null::char(1) as "collation", nullif(t.card, -1) as cardinality, nullif(t.npages, -1) as pages,
    null::varchar(128) as filter_condition
  from kwgw.catalog_table(p_table, p_owner) t
  union all
  select null, t.creator::varchar(32), t.name::varchar(32), (case when i.uniquerule = 'D' then 1 else 0 end)::int2,
    i.creator::text::varchar(32), i.name::varchar(32), (case when i.clustered = 'Y' then 1 else 3 end)::int2,
    k.colseq, k.colname::varchar(32), k.ordering, nullif(i.fullkeycard, -1), nullif(i.nleaf, -1), null
  from kwgw.catalog_table(p_table, p_owner) t
  join sysibm.sysindexes i on i.tbcreator::text = t.creator and i.tbname = t.name
  join sysibm.syskeys k on k.ixcreator = i.creator and k.ixname = i.name
  where i.name like kwgw.catalog_pattern(p_index)
    and (kwgw.catalog_flag(p_is_unique, 'YN', 'N', 'is_unique') = 'N' or i.uniquerule <> 'D')
  ) s
  order by s.non_unique nulls first, s.type, s.index_qualifier collate "C", s.index_name collate "C", s.seq_in_index;
end;

-- sp_special_columns table_name, table_owner, qualifier, col_type, scope, nullable. col_type R
-- (best row identifier): the primary key's columns, else those of the unique index with the fewest
-- columns (by name among equals) whose columns cannot be null unless nullable U allows them;
-- col_type V (columns the database updates by itself): none, DB2 has no such columns. Scope 0: a
-- key identifies its row while the client is on it, since another transaction may change the key.
create or replace function kwgw.sp_special_columns(p_table text, p_owner text, p_qualifier text, p_col_type text,
                                                   p_scope text, p_nullable text)
returns setof kwgw.sp_special_columns_row
language sql stable
begin atomic
  select kwgw.catalog_required(p_table, 'table_name'), kwgw.catalog_flag(p_col_type, 'RV', 'R', 'col_type'),
    kwgw.catalog_flag(p_scope, 'CT', 'T', 'scope'), kwgw.catalog_flag(p_nullable, 'OU', 'U', 'nullable');
  with t as (
    select t.* from kwgw.catalog_table(p_table, p_owner) t
    where kwgw.catalog_flag(p_col_type, 'RV', 'R', 'col_type') = 'R'
  ), cols as (
    select c.* from kwgw.odbc_columns c join t on c.tbcreator = t.creator and c.tbname = t.name
  ), pk as (
    select c.name, c.keyseq as seq from cols c where c.keyseq > 0
  ), best as (
    select i.creator, i.name from sysibm.sysindexes i join t on i.tbcreator::text = t.creator and i.tbname = t.name
    where i.uniquerule in ('P', 'U')
      and (kwgw.catalog_flag(p_nullable, 'OU', 'U', 'nullable') = 'U'
           or not exists (select from sysibm.syskeys k join cols c on c.name = k.colname
                          where k.ixcreator = i.creator and k.ixname = i.name and c.nulls = 'Y'))
    order by i.colcount, i.name collate "C", i.creator collate "C"
    limit 1
  ), chosen as (
    select pk.name, pk.seq from pk
    union all
    select k.colname::text, k.colseq from best join sysibm.syskeys k on k.ixcreator = best.creator
                                                                     and k.ixname = best.name
    where not exists (select from pk)
  )
  select 0::int2, c.name::varchar(32), c.data_type, c.type_name, c.precision, c.length, c.scale, 1::int2
  from chosen k join cols c on c.name = k.name
  order by k.seq;
end;

-- The catalog procedures, as sp_stored_procedures lists them (without an owner), and their
-- parameters.
call kwgw.install_view('kwgw.catalog_procedures', $view$
select p.procedure_name::varchar(32) as procedure_name, p.remarks::varchar(254) as remarks
from (values
  ('sp_columns', 'COLUMNS OF TABLES AND VIEWS'),
  ('sp_datatype_info', 'DATA TYPES'),
  ('sp_fkeys', 'FOREIGN KEYS'),
  ('sp_pkeys', 'PRIMARY KEY COLUMNS OF A TABLE'),
  ('sp_server_info', 'ATTRIBUTES OF THE SERVER'),
  ('sp_special_columns', 'COLUMNS THAT IDENTIFY A ROW'),
  ('sp_sproc_columns', 'PARAMETERS OF PROCEDURES'),
  ('sp_statistics', 'INDEXES AND STATISTICS OF A TABLE'),
  ('sp_stored_procedures', 'PROCEDURES'),
  ('sp_tables', 'TABLES AND VIEWS')
) as p(procedure_name, remarks)$view$);

call kwgw.install_view('kwgw.catalog_procedure_parameters', $view$
select p.procedure_name::varchar(32) as procedure_name, p.ordinal::int4 as ordinal,
  p.parameter_name::varchar(32) as parameter_name, p.coltype::text as coltype, p.length::int4 as length
from (values
  ('sp_columns', 1, '@table_name', 'VARCHAR', 32), ('sp_columns', 2, '@table_owner', 'VARCHAR', 32),
  ('sp_columns', 3, '@table_qualifier', 'VARCHAR', 32), ('sp_columns', 4, '@column_name', 'VARCHAR', 32),
  ('sp_datatype_info', 1, '@data_type', 'INTEGER', 4),
  ('sp_fkeys', 1, '@pktable_name', 'VARCHAR', 32), ('sp_fkeys', 2, '@pktable_owner', 'VARCHAR', 32),
  ('sp_fkeys', 3, '@pktable_qualifier', 'VARCHAR', 32), ('sp_fkeys', 4, '@fktable_name', 'VARCHAR', 32),
  ('sp_fkeys', 5, '@fktable_owner', 'VARCHAR', 32), ('sp_fkeys', 6, '@fktable_qualifier', 'VARCHAR', 32),
  ('sp_pkeys', 1, '@table_name', 'VARCHAR', 32), ('sp_pkeys', 2, '@table_owner', 'VARCHAR', 32),
  ('sp_pkeys', 3, '@table_qualifier', 'VARCHAR', 32),
  ('sp_server_info', 1, '@attribute_id', 'INTEGER', 4),
  ('sp_special_columns', 1, '@table_name', 'VARCHAR', 32), ('sp_special_columns', 2, '@table_owner', 'VARCHAR', 32),
  ('sp_special_columns', 3, '@qualifier', 'VARCHAR', 32), ('sp_special_columns', 4, '@col_type', 'CHAR', 1),
  ('sp_special_columns', 5, '@scope', 'CHAR', 1), ('sp_special_columns', 6, '@nullable', 'CHAR', 1),
  ('sp_sproc_columns', 1, '@procedure_name', 'VARCHAR', 32),
  ('sp_sproc_columns', 2, '@procedure_owner', 'VARCHAR', 32),
  ('sp_sproc_columns', 3, '@procedure_qualifier', 'VARCHAR', 32),
  ('sp_sproc_columns', 4, '@column_name', 'VARCHAR', 32),
  ('sp_statistics', 1, '@table_name', 'VARCHAR', 32), ('sp_statistics', 2, '@table_owner', 'VARCHAR', 32),
  ('sp_statistics', 3, '@table_qualifier', 'VARCHAR', 32), ('sp_statistics', 4, '@index_name', 'VARCHAR', 32),
  ('sp_statistics', 5, '@is_unique', 'CHAR', 1), ('sp_statistics', 6, '@accuracy', 'CHAR', 1),
  ('sp_stored_procedures', 1, '@sp_name', 'VARCHAR', 32), ('sp_stored_procedures', 2, '@sp_owner', 'VARCHAR', 32),
  ('sp_stored_procedures', 3, '@sp_qualifier', 'VARCHAR', 32),
  ('sp_tables', 1, '@table_name', 'VARCHAR', 32), ('sp_tables', 2, '@table_owner', 'VARCHAR', 32),
  ('sp_tables', 3, '@table_qualifier', 'VARCHAR', 32), ('sp_tables', 4, '@table_type', 'VARCHAR', 32)
) as p(procedure_name, ordinal, parameter_name, coltype, length)$view$);

-- The stored requests the caller may read: creator (DB2 form), name and text of every request of
-- every PCSQL_HOSTLIB table. Runs with the caller's privileges; a table the caller may not read,
-- or without the request columns, is skipped, so the list never fails.
create or replace function kwgw.stored_requests()
returns table (owner text, name text, request text)
language plpgsql stable set search_path = pg_catalog, pg_temp as $$
declare
  s text;
begin
  for s in select t.creator::text from sysibm.systables t where t.name = 'PCSQL_HOSTLIB' loop
    begin
      return query execute format(
        'SELECT $1, rtrim(req_name)::text, req_text::text FROM %I.pcsql_hostlib', kwgw.pgname(s)) using s;
    exception when insufficient_privilege or undefined_column then
      null;
    end;
  end loop;
end $$;

-- The parameters of a stored request text, in the order a call gives them: &1 ... &n up to the
-- highest number used (a call must give every position up to it), then each &NAME once, in order
-- of first use. References are found as the session substitutes them: an & followed by a letter,
-- digit or _ outside string literals and delimited identifiers, the name running over letters,
-- digits, _, #, @ and $, folded to upper case.
create or replace function kwgw.request_parameters(p_text text)
returns table (ordinal int4, parameter_name text)
language sql immutable
begin atomic
  with refs as (
    select upper(m.r[1]) as name, min(m.at) as first_use
    from regexp_matches(regexp_replace(p_text, $re$'(?:[^']|'')*(?:'|$)|"(?:[^"]|"")*(?:"|$)$re$, ' ', 'g'),
                        '&([A-Za-z0-9_][A-Za-z0-9_#@$]*)', 'g') with ordinality as m(r, at)
    group by 1
  ), positions as (
    select coalesce(max(name::int4), 0) as n from refs where name ~ '^[0-9]{1,4}$'
  )
  select g::int4, '&' || g from positions, generate_series(1, positions.n) g
  union all
  select (positions.n + row_number() over (order by refs.first_use))::int4, '&' || refs.name
  from refs, positions
  where refs.name !~ '^[0-9]'
  order by 1;
end;

-- The number of result sets a stored request answers: one per statement that is a SELECT.
create or replace function kwgw.request_result_sets(p_text text) returns int4
  language sql immutable
begin atomic
  select count(*)::int4
  from regexp_split_to_table(regexp_replace(p_text, $re$'(?:[^']|'')*(?:'|$)|"(?:[^"]|"")*(?:"|$)$re$, ' ', 'g'),
                             ';') as s
  where s ~* '^\s*select\M';
end;

-- Every procedure a client may call: the stored requests under their creators (type 2: they end
-- with a return status) and the catalog procedures, whose owner is NULL.
create or replace function kwgw.catalog_procedure_list()
returns table (owner text, name text, request text, inputs int4, result_sets int4, remarks text)
language sql stable
begin atomic
  select r.owner, r.name, r.request, (select count(*)::int4 from kwgw.request_parameters(r.request)),
    kwgw.request_result_sets(r.request), null::text
  from kwgw.stored_requests() r
  union all
  select null::text, p.procedure_name::text, null,
    (select count(*)::int4 from kwgw.catalog_procedure_parameters a where a.procedure_name = p.procedure_name),
    1, p.remarks::text
  from kwgw.catalog_procedures p;
end;

-- Whether a procedure of the list matches the name and owner patterns. A catalog procedure has no
-- owner, so only an owner pattern that matches an empty name (none given, or %) keeps it; its name
-- matches in any case, as the session recognises it in any case.
create or replace function kwgw.catalog_procedure_matches(p_owner text, p_name text, p_name_pattern text,
                                                          p_owner_pattern text) returns boolean
  language sql immutable
  return coalesce(p_owner, '') like kwgw.catalog_pattern(p_owner_pattern)
         and (p_name like kwgw.catalog_pattern(p_name_pattern)
              or (p_owner is null and p_name ilike kwgw.catalog_pattern(p_name_pattern)));

-- sp_stored_procedures sp_name, sp_owner, sp_qualifier: by owner and name.
create or replace function kwgw.sp_stored_procedures(p_name text, p_owner text, p_qualifier text)
returns setof kwgw.sp_stored_procedures_row
language sql stable
begin atomic
  select null::varchar(32), p.owner::varchar(32), p.name::varchar(32), p.inputs, 0, p.result_sets,
    p.remarks::varchar(254), 2::int2
  from kwgw.catalog_procedure_list() p
  where kwgw.catalog_procedure_matches(p.owner, p.name, p_name, p_owner)
  order by p.owner collate "C" nulls first, p.name collate "C";
end;

-- sp_sproc_columns procedure_name, procedure_owner, procedure_qualifier, column_name: for each
-- procedure its return status (RETURN_VALUE, INTEGER, column type 5) and then its parameters
-- (column type 1). A stored request's argument is the text of an SQL literal of any type, so it
-- is described as VARCHAR(254), the gateway's type for text of no DB2 type.
create or replace function kwgw.sp_sproc_columns(p_name text, p_owner text, p_qualifier text, p_column text)
returns setof kwgw.sp_sproc_columns_row
language sql stable
begin atomic
  with procs as (
    select p.* from kwgw.catalog_procedure_list() p
    where kwgw.catalog_procedure_matches(p.owner, p.name, p_name, p_owner)
  ), params as (
    select p.owner, p.name, 0 as ordinal, 'RETURN_VALUE' as parameter_name, 5 as column_type, 'INTEGER' as coltype,
      4 as length, 0 as nullable
    from procs p
    union all
    select p.owner, p.name, a.ordinal, a.parameter_name, 1, 'VARCHAR', 254, 1
    from procs p cross join lateral kwgw.request_parameters(p.request) a
    where p.request is not null
    union all
    select p.owner, p.name, a.ordinal, a.parameter_name::text, 1, a.coltype, a.length, 1
    from procs p join kwgw.catalog_procedure_parameters a on a.procedure_name = p.name
    where p.owner is null
  )
  select null::varchar(32), a.owner::varchar(32), a.name::varchar(32), a.parameter_name::varchar(32),
    a.column_type::int2, t.data_type, t.type_name, t.precision, t.length, t.scale, t.radix, a.nullable::int2,
    null::varchar(254), t.wire_type, a.ordinal::int2, null::varchar(255), t.sql_data_type, t.sql_datetime_sub,
    t.char_octet_length, a.ordinal::int4, (case when a.nullable = 1 then 'YES' else 'NO' end)::varchar(3)
  from params a cross join lateral kwgw.odbc_type(a.coltype, a.length, 0) t
  where a.parameter_name like kwgw.catalog_pattern(p_column)
  order by a.owner collate "C" nulls first, a.name collate "C", a.ordinal;
end;

-- sp_datatype_info data_type: the DB2 types, by ODBC type code (one DB2 type per code); a code
-- (ODBC 2's, or ODBC 3's 91, 92, 93 for the date and time types) keeps its type only, 0 or none
-- keeps all.
create or replace function kwgw.sp_datatype_info(p_data_type text)
returns setof kwgw.sp_datatype_info_row
language sql stable
begin atomic
  select t.type_name, t.data_type, t.max_precision, t.literal_prefix, t.literal_suffix, t.create_params, 1::int2,
    t.case_sensitive, t.searchable, t.unsigned_attribute, 0::int2,
    t.unsigned_attribute, t.type_name, t.minimum_scale, t.maximum_scale, t.sql_data_type, t.sql_datetime_sub,
    t.radix::int4, null::int2
  from kwgw.db2_types t
  where coalesce(kwgw.catalog_number(p_data_type, 'data_type'), 0)
        in (0, t.data_type, case when t.data_type in (9, 10, 11) then t.data_type + 82 end)
  order by t.data_type;
end;

-- sp_server_info attribute_id: the attributes ODBC drivers read, with DB2's values and the
-- gateway's name rules (creators and authorization ids 8 characters, other names 18).
create or replace function kwgw.sp_server_info(p_attribute_id text)
returns setof kwgw.sp_server_info_row
language sql stable
begin atomic
  select a.id::int4, a.name::varchar(60), a.value::varchar(255)
  from (values
    (1, 'DBMS_NAME', 'DB2'),
    (2, 'DBMS_VER', '03.01.0000 DB2 for MVS'),
    (10, 'OWNER_TERM', 'creator'),
    (11, 'TABLE_TERM', 'table'),
    (12, 'MAX_OWNER_NAME_LENGTH', '8'),
    (13, 'TABLE_LENGTH', '18'),
    (14, 'MAX_QUAL_LENGTH', '16'),
    (15, 'COLUMN_LENGTH', '18'),
    (16, 'IDENTIFIER_CASE', 'UPPER'),
    (18, 'COLLATION_SEQ', (select format('charset=%s collation=%s', pg_encoding_to_char(d.encoding), d.datcollate)
                           from pg_database d where d.datname = current_database())),
    (19, 'SAVEPOINT_SUPPORT', 'N'),
    (20, 'MULTI_RESULT_SETS', 'Y'),
    (22, 'ACCESSIBLE_TABLES', 'N'),
    (100, 'USERID_LENGTH', '8'),
    (101, 'QUALIFIER_TERM', 'location'),
    (102, 'NAMED_TRANSACTIONS', 'N'),
    (103, 'SPROC_AS_LANGUAGE', 'Y'),
    (104, 'ACCESSIBLE_SPROC', 'Y'),
    (105, 'MAX_INDEX_COLS', '32'),             -- PostgreSQL's limit, below DB2's 64
    (106, 'RENAME_TABLE', 'N'),
    (107, 'RENAME_COLUMN', 'N'),
    (108, 'DROP_COLUMN', 'N'),
    (109, 'INCREASE_COLUMN_LENGTH', 'N'),
    (110, 'DDL_IN_TRANSACTION', 'Y'),
    (111, 'DESCENDING_INDEXES', 'Y'),
    (112, 'SP_RENAME', 'N'),
    (113, 'REMOTE_SPROC', 'N'),
    (500, 'SYS_SPROC_VERSION', '01.00.0000')
  ) as a(id, name, value)
  where a.id = coalesce(kwgw.catalog_number(p_attribute_id, 'attribute_id'), a.id)
  order by a.id;
end;

grant select on kwgw.db2_types, kwgw.odbc_columns, kwgw.catalog_procedures, kwgw.catalog_procedure_parameters
  to public;

-- Every catalog procedure listed has its function, taking one text argument per parameter.
do $$
declare
  missing text;
begin
  select string_agg(p.procedure_name, ', ') into missing
  from kwgw.catalog_procedures p
  where to_regprocedure(format('kwgw.%s(%s)', p.procedure_name,
          (select string_agg('text', ',') from kwgw.catalog_procedure_parameters a
           where a.procedure_name = p.procedure_name))) is null;
  if missing is not null then
    raise exception 'catalog procedures without a function of their parameters: %', missing;
  end if;
end $$;
