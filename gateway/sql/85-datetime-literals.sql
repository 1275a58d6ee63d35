-- 85-datetime-literals.sql - DB2 time, timestamp and date string forms where PostgreSQL expects a
-- time, timestamp or date, without touching character data that merely looks like one.
--
-- The dialect layer writes a literal such as '7.43.54' that stands next to a comparison or in a
-- VALUES list as kwgw.time_lit('7.43.54'). Its type, kwgw.db2time, converts implicitly to time (read
-- as DB2 reads it) and to text, char and varchar (the text unchanged), so PostgreSQL picks the
-- conversion the other operand or the target column asks for: a TIME column gets 07:43:54, a CHAR
-- column '7.43.54'. kwgw.db2timestamp ('2001-3-5-7.43.54.000120') and kwgw.db2date ('5.3.2001',
-- '3/5/2001') work the same way. The functions are immutable, so the conversion is done once.

do $$
declare
  t text;
begin
  foreach t in array array['db2time', 'db2timestamp', 'db2date'] loop
    if not exists (select from pg_type y join pg_namespace s on s.oid = y.typnamespace
                   where s.nspname = 'kwgw' and y.typname = t) then
      execute format('create type kwgw.%I as (txt text)', t);
    end if;
  end loop;
end $$;

create or replace function kwgw.time_lit(s text) returns kwgw.db2time
  language sql immutable return row(s)::kwgw.db2time;
create or replace function kwgw.timestamp_lit(s text) returns kwgw.db2timestamp
  language sql immutable return row(s)::kwgw.db2timestamp;
create or replace function kwgw.date_lit(s text) returns kwgw.db2date
  language sql immutable return row(s)::kwgw.db2date;

create or replace function kwgw.db2time_time(v kwgw.db2time) returns time
  language sql immutable return kwgw.parse_time(v.txt);
create or replace function kwgw.db2timestamp_timestamp(v kwgw.db2timestamp) returns timestamp
  language sql immutable return kwgw.parse_timestamp(v.txt);
create or replace function kwgw.db2date_date(v kwgw.db2date) returns date
  language sql immutable return kwgw.parse_date(v.txt);

create or replace function kwgw.db2time_text(v kwgw.db2time) returns text
  language sql immutable return v.txt;
create or replace function kwgw.db2timestamp_text(v kwgw.db2timestamp) returns text
  language sql immutable return v.txt;
create or replace function kwgw.db2date_text(v kwgw.db2date) returns text
  language sql immutable return v.txt;

-- The casts: each literal type to its datetime type and to the three string types.
do $$
declare
  c record;
  target text;
begin
  for c in select * from (values ('db2time', 'time', 'db2time_time'),
                                 ('db2timestamp', 'timestamp', 'db2timestamp_timestamp'),
                                 ('db2date', 'date', 'db2date_date')) as v(src, dt, fn) loop
    foreach target in array array[c.dt, 'text', 'bpchar', 'varchar'] loop
      if not exists (select from pg_cast where castsource = format('kwgw.%I', c.src)::regtype
                                           and casttarget = target::regtype) then
        execute format('create cast (kwgw.%I as %s) with function kwgw.%I(kwgw.%I) as implicit',
                       c.src, target, case when target = c.dt then c.fn else c.src || '_text' end, c.src);
      end if;
    end loop;
  end loop;
end $$;
