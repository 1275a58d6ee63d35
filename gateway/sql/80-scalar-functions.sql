-- 80-scalar-functions.sql - DB2's scalar functions in schema kwgw_fn, with DB2's results.
--
-- DIGITS, LENGTH, SUBSTR, VALUE, CHAR, DATE, DAY, DAYS, HOUR, MICROSECOND, MINUTE, MONTH, SECOND,
-- TIME, TIMESTAMP, YEAR, DECIMAL, FLOAT, HEX, INTEGER, and SUSER_NAME, the one Sybase function
-- Sybase clients ask a gateway for unprompted. The dialect layer calls the DB2 ones qualified
-- (kwgw_fn.char(...)), since several names are PostgreSQL keywords or built-ins with other
-- results. DB2's string forms of dates, times and timestamps are read by kwgw.parse_date / _time /
-- _timestamp (ISO, USA, EUR, JIS; leading zeros optional); malformed text is 22007, a value out of
-- range 22008. Fixed-length results are domains over CHAR(n), so a result set describes them with
-- DB2's length.

do $$
declare
  d record;
begin
  for d in select * from (values ('char4', 'char(4)'), ('char5', 'char(5)'), ('char6', 'char(6)'),
      ('char8', 'char(8)'), ('char10', 'char(10)'), ('char11', 'char(11)'), ('char19', 'char(19)'),
      ('char20', 'char(20)'), ('char26', 'char(26)'), ('varchar8', 'varchar(8)'), ('dec5_0', 'numeric(5,0)'),
      ('dec11_0', 'numeric(11,0)'), ('dec15_0', 'numeric(15,0)'), ('dec19_0', 'numeric(19,0)')) as v(n, t) loop
    if not exists (select from pg_type t join pg_namespace s on s.oid = t.typnamespace
                   where s.nspname = 'kwgw' and t.typname = d.n) then
      execute format('create domain kwgw.%I as %s', d.n, d.t);
    end if;
  end loop;
end $$;

create or replace function kwgw.bad_datetime(p_text text) returns void
  language plpgsql immutable set search_path = pg_catalog, pg_temp as $$
begin
  raise exception using errcode = '22007',
    message = format('THE STRING REPRESENTATION OF A DATETIME VALUE HAS INVALID SYNTAX: %s', p_text);
end $$;

-- A date from its DB2 string forms: yyyy-mm-dd, mm/dd/yyyy, dd.mm.yyyy, a timestamp, or yyyyddd.
create or replace function kwgw.parse_date(p_text text) returns date
  language plpgsql immutable strict set search_path = pg_catalog, pg_temp as $$
declare
  s text := btrim(p_text);
  m text[];
begin
  m := regexp_match(s, '^(\d{4})-(\d{1,2})-(\d{1,2})([- ]\d.*)?$');
  if m is not null then
    return make_date(m[1]::int, m[2]::int, m[3]::int);
  end if;
  m := regexp_match(s, '^(\d{1,2})/(\d{1,2})/(\d{4})$');
  if m is not null then
    return make_date(m[3]::int, m[1]::int, m[2]::int);
  end if;
  m := regexp_match(s, '^(\d{1,2})\.(\d{1,2})\.(\d{4})$');
  if m is not null then
    return make_date(m[3]::int, m[2]::int, m[1]::int);
  end if;
  m := regexp_match(s, '^(\d{4})(\d{3})$');
  if m is not null then
    if m[2]::int < 1 or m[2]::int > make_date(m[1]::int, 12, 31) - make_date(m[1]::int, 1, 1) + 1 then
      raise exception using errcode = '22008', message = format('%s IS NOT A VALID DATE', s);
    end if;
    return make_date(m[1]::int, 1, 1) + (m[2]::int - 1);
  end if;
  perform kwgw.bad_datetime(s);
  return null;
end $$;

-- A time from its DB2 string forms: hh.mm.ss, hh:mm:ss (seconds optional), hh:mm AM, or a timestamp.
create or replace function kwgw.parse_time(p_text text) returns time
  language plpgsql immutable strict set search_path = pg_catalog, pg_temp as $$
declare
  s text := btrim(p_text);
  m text[];
  h int;
begin
  m := regexp_match(s, '^(\d{1,2})[.:](\d{2})(?:[.:](\d{2}))?$');
  if m is null then
    m := regexp_match(s, '^\d{4}-\d{1,2}-\d{1,2}[- ](\d{1,2})[.:](\d{2})[.:](\d{2})(?:\.\d{1,6})?$');
  end if;
  if m is not null then
    return make_time(m[1]::int, m[2]::int, coalesce(m[3], '0')::int);
  end if;
  m := regexp_match(s, '^(\d{1,2}):(\d{2}) ?([AaPp])[Mm]$');
  if m is not null then
    h := m[1]::int;
    if h not between 1 and 12 then
      raise exception using errcode = '22008', message = format('%s IS NOT A VALID TIME', s);
    end if;
    return make_time(h % 12 + case when upper(m[3]) = 'P' then 12 else 0 end, m[2]::int, 0);
  end if;
  perform kwgw.bad_datetime(s);
  return null;
end $$;

-- A timestamp from yyyy-mm-dd-hh.mm.ss[.nnnnnn] (a blank and colons also do) or yyyymmddhhmmss.
create or replace function kwgw.parse_timestamp(p_text text) returns timestamp
  language plpgsql immutable strict set search_path = pg_catalog, pg_temp as $$
declare
  s text := btrim(p_text);
  m text[];
begin
  m := regexp_match(s, '^(\d{4})-(\d{1,2})-(\d{1,2})[- ](\d{1,2})[.:](\d{2})[.:](\d{2})(?:\.(\d{1,6}))?$');
  if m is null then
    m := regexp_match(s, '^(\d{4})(\d{2})(\d{2})(\d{2})(\d{2})(\d{2})()$');
  end if;
  if m is null then
    perform kwgw.bad_datetime(s);
  end if;
  if m[4]::int = 24 and (m[5]::int <> 0 or m[6]::int <> 0 or coalesce(nullif(m[7], ''), '0')::int <> 0) then
    raise exception using errcode = '22008', message = format('%s IS NOT A VALID TIMESTAMP', s);
  end if;
  return make_timestamp(m[1]::int, m[2]::int, m[3]::int, m[4]::int, m[5]::int,
                        m[6]::int + coalesce(rpad(nullif(m[7], ''), 6, '0'), '0')::int / 1000000.0);
end $$;

-- A date or a timestamp string, read as a timestamp (for YEAR, MONTH, DAY of a string).
create or replace function kwgw.parse_date_or_timestamp(p_text text) returns timestamp
  language plpgsql immutable strict set search_path = pg_catalog, pg_temp as $$
begin
  if btrim(p_text) ~ '^\d{4}-\d{1,2}-\d{1,2}[- ]\d' or btrim(p_text) ~ '^\d{14}$' then
    return kwgw.parse_timestamp(p_text);
  end if;
  return kwgw.parse_date(p_text)::timestamp;
end $$;

create or replace function kwgw.parse_time_or_timestamp(p_text text) returns timestamp
  language plpgsql immutable strict set search_path = pg_catalog, pg_temp as $$
begin
  if btrim(p_text) ~ '^\d{4}-\d{1,2}-\d{1,2}[- ]\d' or btrim(p_text) ~ '^\d{14}$' then
    return kwgw.parse_timestamp(p_text);
  end if;
  return date '2000-01-01' + kwgw.parse_time(p_text);
end $$;

-- CHAR: a date, time or timestamp in DB2's text form (ISO unless ISO, USA, EUR, JIS or LOCAL says
-- otherwise); an integer left-justified; a string unchanged.
create or replace function kwgw_fn.char(d date) returns kwgw.char10
  language sql immutable return to_char(d, 'YYYY-MM-DD');
create or replace function kwgw_fn.char(d date, fmt text) returns kwgw.char10
  language sql immutable
  return to_char(d, case upper(btrim(fmt)) when 'USA' then 'MM/DD/YYYY' when 'EUR' then 'DD.MM.YYYY'
                    else 'YYYY-MM-DD' end);
create or replace function kwgw_fn.char(t time) returns kwgw.char8
  language sql immutable return to_char(t, 'HH24.MI.SS');
create or replace function kwgw_fn.char(t time, fmt text) returns kwgw.char8
  language sql immutable
  return to_char(t, case upper(btrim(fmt)) when 'USA' then 'HH12:MI AM' when 'JIS' then 'HH24:MI:SS'
                    else 'HH24.MI.SS' end);
create or replace function kwgw_fn.char(ts timestamp) returns kwgw.char26
  language sql immutable return to_char(ts, 'YYYY-MM-DD-HH24.MI.SS.US');
create or replace function kwgw_fn.char(n integer) returns kwgw.char11
  language sql immutable return n::text;
create or replace function kwgw_fn.char(n smallint) returns kwgw.char6
  language sql immutable return n::text;
create or replace function kwgw_fn.char(s text) returns text
  language sql immutable return s;

-- DATE, TIME, TIMESTAMP.
create or replace function kwgw_fn.date(d date) returns date language sql immutable return d;
create or replace function kwgw_fn.date(ts timestamp) returns date language sql immutable return ts::date;
create or replace function kwgw_fn.date(s text) returns date language sql immutable return kwgw.parse_date(s);
-- A number n is the n-th day counting 0001-01-01 as day 1.
create or replace function kwgw_fn.date(n numeric) returns date
  language sql immutable return date '0001-01-01' + (trunc(n)::int - 1);
create or replace function kwgw_fn.time(t time) returns time
  language sql immutable return date_trunc('second', t)::time;
create or replace function kwgw_fn.time(ts timestamp) returns time
  language sql immutable return date_trunc('second', ts)::time;
create or replace function kwgw_fn.time(s text) returns time
  language sql immutable return kwgw.parse_time(s);
create or replace function kwgw_fn.timestamp(ts timestamp) returns timestamp
  language sql immutable return ts;
create or replace function kwgw_fn.timestamp(s text) returns timestamp
  language sql immutable return kwgw.parse_timestamp(s);
create or replace function kwgw_fn.timestamp(d date, t time) returns timestamp
  language sql immutable return d + t;
create or replace function kwgw_fn.timestamp(d text, t text) returns timestamp
  language sql immutable return kwgw.parse_date(d) + kwgw.parse_time(t);

-- YEAR, MONTH, DAY of a date, timestamp or its string; of a number, the part of a date duration
-- yyyymmdd (with the number's sign).
create or replace function kwgw_fn.year(d date) returns integer
  language sql immutable return extract(year from d)::int;
create or replace function kwgw_fn.year(ts timestamp) returns integer
  language sql immutable return extract(year from ts)::int;
create or replace function kwgw_fn.year(s text) returns integer
  language sql immutable return extract(year from kwgw.parse_date_or_timestamp(s))::int;
create or replace function kwgw_fn.year(n numeric) returns integer
  language sql immutable return (sign(n) * trunc(abs(n) / 10000))::int;
create or replace function kwgw_fn.month(d date) returns integer
  language sql immutable return extract(month from d)::int;
create or replace function kwgw_fn.month(ts timestamp) returns integer
  language sql immutable return extract(month from ts)::int;
create or replace function kwgw_fn.month(s text) returns integer
  language sql immutable return extract(month from kwgw.parse_date_or_timestamp(s))::int;
create or replace function kwgw_fn.month(n numeric) returns integer
  language sql immutable return (sign(n) * mod(trunc(abs(n) / 100), 100))::int;
create or replace function kwgw_fn.day(d date) returns integer
  language sql immutable return extract(day from d)::int;
create or replace function kwgw_fn.day(ts timestamp) returns integer
  language sql immutable return extract(day from ts)::int;
create or replace function kwgw_fn.day(s text) returns integer
  language sql immutable return extract(day from kwgw.parse_date_or_timestamp(s))::int;
create or replace function kwgw_fn.day(n numeric) returns integer
  language sql immutable return (sign(n) * mod(trunc(abs(n)), 100))::int;

-- HOUR, MINUTE, SECOND of a time, timestamp or its string; of a number, the part of a time
-- duration hhmmss. MICROSECOND of a timestamp.
create or replace function kwgw_fn.hour(t time) returns integer
  language sql immutable return extract(hour from t)::int;
create or replace function kwgw_fn.hour(ts timestamp) returns integer
  language sql immutable return extract(hour from ts)::int;
create or replace function kwgw_fn.hour(s text) returns integer
  language sql immutable return extract(hour from kwgw.parse_time_or_timestamp(s))::int;
create or replace function kwgw_fn.hour(n numeric) returns integer
  language sql immutable return (sign(n) * trunc(abs(n) / 10000))::int;
create or replace function kwgw_fn.minute(t time) returns integer
  language sql immutable return extract(minute from t)::int;
create or replace function kwgw_fn.minute(ts timestamp) returns integer
  language sql immutable return extract(minute from ts)::int;
create or replace function kwgw_fn.minute(s text) returns integer
  language sql immutable return extract(minute from kwgw.parse_time_or_timestamp(s))::int;
create or replace function kwgw_fn.minute(n numeric) returns integer
  language sql immutable return (sign(n) * mod(trunc(abs(n) / 100), 100))::int;
create or replace function kwgw_fn.second(t time) returns integer
  language sql immutable return trunc(extract(second from t))::int;
create or replace function kwgw_fn.second(ts timestamp) returns integer
  language sql immutable return trunc(extract(second from ts))::int;
create or replace function kwgw_fn.second(s text) returns integer
  language sql immutable return trunc(extract(second from kwgw.parse_time_or_timestamp(s)))::int;
create or replace function kwgw_fn.second(n numeric) returns integer
  language sql immutable return (sign(n) * mod(trunc(abs(n)), 100))::int;
create or replace function kwgw_fn.microsecond(ts timestamp) returns integer
  language sql immutable return (extract(microseconds from ts)::int % 1000000);
create or replace function kwgw_fn.microsecond(s text) returns integer
  language sql immutable return (extract(microseconds from kwgw.parse_timestamp(s))::int % 1000000);

-- DAYS: 0001-01-01 is day 1.
create or replace function kwgw_fn.days(d date) returns integer
  language sql immutable return (d - date '0001-01-01') + 1;
create or replace function kwgw_fn.days(ts timestamp) returns integer
  language sql immutable return (ts::date - date '0001-01-01') + 1;
create or replace function kwgw_fn.days(s text) returns integer
  language sql immutable return (kwgw.parse_date(s) - date '0001-01-01') + 1;

-- DIGITS: the absolute value's digits, zero-padded to the precision (5 for SMALLINT, 10 for
-- INTEGER). PostgreSQL does not pass a DECIMAL column's precision to a function, so a DECIMAL
-- gives its integer digits unpadded followed by its scale's fraction digits.
create or replace function kwgw_fn.digits(n smallint) returns kwgw.char5
  language sql immutable return lpad(abs(n::int)::text, 5, '0');
create or replace function kwgw_fn.digits(n integer) returns kwgw.char10
  language sql immutable return lpad(abs(n::bigint)::text, 10, '0');
create or replace function kwgw_fn.digits(n bigint) returns kwgw.char19
  language sql immutable return lpad(abs(n::numeric)::text, 19, '0');
create or replace function kwgw_fn.digits(n numeric) returns text
  language sql immutable return replace(abs(n)::text, '.', '');

-- LENGTH: a CHAR value counts its padding; numbers and dates count DB2's internal bytes.
create or replace function kwgw_fn.length(s text) returns integer
  language sql immutable return char_length(s);
create or replace function kwgw_fn.length(s bpchar) returns integer
  language sql immutable return char_length(s::text) + octet_length(s) - octet_length(s::text);
create or replace function kwgw_fn.length(n smallint) returns integer
  language sql immutable strict return 2;
create or replace function kwgw_fn.length(n integer) returns integer
  language sql immutable strict return 4;
create or replace function kwgw_fn.length(n bigint) returns integer
  language sql immutable strict return 8;
create or replace function kwgw_fn.length(n real) returns integer
  language sql immutable strict return 4;
create or replace function kwgw_fn.length(n double precision) returns integer
  language sql immutable strict return 8;
create or replace function kwgw_fn.length(n numeric) returns integer
  language sql immutable return char_length(replace(abs(n)::text, '.', '')) / 2 + 1;
create or replace function kwgw_fn.length(d date) returns integer
  language sql immutable strict return 4;
create or replace function kwgw_fn.length(t time) returns integer
  language sql immutable strict return 3;
create or replace function kwgw_fn.length(ts timestamp) returns integer
  language sql immutable strict return 10;

-- SUBSTR: DB2 refuses a start before the string or past its end + 1, and a negative length; a CHAR
-- value keeps its padding.
create or replace function kwgw.substr_checked(s text, start int, len int, max_len int) returns text
  language plpgsql immutable set search_path = pg_catalog, pg_temp as $$
begin
  if s is null or start is null then
    return null;
  end if;
  if start < 1 or (max_len is not null and start > max_len + 1) or len < 0
     or (max_len is not null and len is not null and start + len - 1 > max_len) then
    raise exception using errcode = '22011',
      message = 'THE SECOND OR THIRD ARGUMENT OF THE SUBSTR FUNCTION IS OUT OF RANGE';
  end if;
  return case when len is null then substr(s, start) else substr(s, start, len) end;
end $$;

create or replace function kwgw_fn.substr(s text, start integer) returns text
  language sql immutable return kwgw.substr_checked(s, start, null, null);
create or replace function kwgw_fn.substr(s text, start integer, len integer) returns text
  language sql immutable return kwgw.substr_checked(s, start, len, null);
create or replace function kwgw_fn.substr(s bpchar, start integer) returns text
  language sql immutable
  return kwgw.substr_checked(rpad(s::text, kwgw_fn.length(s)), start, null, kwgw_fn.length(s));
create or replace function kwgw_fn.substr(s bpchar, start integer, len integer) returns text
  language sql immutable
  return kwgw.substr_checked(rpad(s::text, kwgw_fn.length(s)), start, len, kwgw_fn.length(s));

-- VALUE: the first argument that is not null (the dialect layer writes COALESCE for it).
create or replace function kwgw_fn.value(variadic v anycompatiblearray) returns anycompatible
  language sql immutable
  as 'select v[i] from generate_subscripts(v, 1) as i where v[i] is not null order by i limit 1';

-- DECIMAL: truncated, as DB2 truncates, never rounded. Without a precision, an INTEGER becomes
-- DECIMAL(11,0), a SMALLINT DECIMAL(5,0), a FLOAT DECIMAL(15,0); with one, a value whose integer
-- part does not fit is an overflow.
create or replace function kwgw.decimal_checked(n numeric, p int, s int) returns numeric
  language plpgsql immutable set search_path = pg_catalog, pg_temp as $$
begin
  if n is null then
    return null;
  end if;
  if p < 1 or p > 31 or s < 0 or s > p then
    raise exception using errcode = '42611', message = format('DECIMAL(%s,%s) IS NOT A VALID PRECISION AND SCALE', p, s);
  end if;
  if abs(trunc(n, s)) >= 10::numeric ^ (p - s) then
    raise exception using errcode = '22003', message = format('THE VALUE %s DOES NOT FIT DECIMAL(%s,%s)', n, p, s);
  end if;
  return trunc(n, s);
end $$;

create or replace function kwgw_fn.decimal(n numeric) returns numeric
  language sql immutable return n;
create or replace function kwgw_fn.decimal(n smallint) returns kwgw.dec5_0
  language sql immutable return n;
create or replace function kwgw_fn.decimal(n integer) returns kwgw.dec11_0
  language sql immutable return n;
create or replace function kwgw_fn.decimal(n bigint) returns kwgw.dec19_0
  language sql immutable return n;
create or replace function kwgw_fn.decimal(n double precision) returns kwgw.dec15_0
  language sql immutable return kwgw.decimal_checked(n::numeric, 15, 0);
create or replace function kwgw_fn.decimal(n numeric, p integer) returns numeric
  language sql immutable return kwgw.decimal_checked(n, p, 0);
create or replace function kwgw_fn.decimal(n numeric, p integer, s integer) returns numeric
  language sql immutable return kwgw.decimal_checked(n, p, s);

-- FLOAT and INTEGER (truncating, as DB2 does).
create or replace function kwgw_fn.float(n double precision) returns double precision
  language sql immutable return n;
create or replace function kwgw_fn.integer(n numeric) returns integer
  language sql immutable return trunc(n)::int;
create or replace function kwgw_fn.integer(n double precision) returns integer
  language sql immutable return trunc(n)::int;

-- HEX: the hexadecimal digits of the value's internal form (big-endian binary integers, packed
-- dates and times, the bytes of a string).
create or replace function kwgw_fn.hex(s text) returns text
  language sql immutable return upper(encode(convert_to(s, 'UTF8'), 'hex'));
create or replace function kwgw_fn.hex(s bpchar) returns text
  language sql immutable return upper(encode(convert_to(rpad(s::text, kwgw_fn.length(s)), 'UTF8'), 'hex'));
create or replace function kwgw_fn.hex(n smallint) returns kwgw.char4
  language sql immutable return upper(lpad(to_hex(n::int & 65535), 4, '0'));
create or replace function kwgw_fn.hex(n integer) returns kwgw.char8
  language sql immutable return upper(lpad(to_hex(n), 8, '0'));
create or replace function kwgw_fn.hex(d date) returns kwgw.char8
  language sql immutable return to_char(d, 'YYYYMMDD');
create or replace function kwgw_fn.hex(t time) returns kwgw.char6
  language sql immutable return to_char(t, 'HH24MISS');
create or replace function kwgw_fn.hex(ts timestamp) returns kwgw.char20
  language sql immutable return to_char(ts, 'YYYYMMDDHH24MISSUS');

-- CURRENT TIMEZONE: the session's offset from UTC as a time duration hhmmss.
create or replace function kwgw_fn.current_timezone() returns numeric
  language sql stable
  return (sign(extract(timezone from now())) *
          (trunc(abs(extract(timezone from now())) / 3600) * 10000 +
           trunc(mod(abs(extract(timezone from now())), 3600) / 60) * 100 +
           mod(abs(extract(timezone from now())), 60)))::numeric(6,0);

-- SUSER_NAME(): the login's name, which Sybase clients ask for by this Sybase function (jTDS's
-- DatabaseMetaData.getUserName sends `select suser_name()`): the DB2 authorization id, the
-- USER special register's value without its padding. Found through the session's search path.
create or replace function kwgw_fn.suser_name() returns kwgw.varchar8
  language sql stable
  return kwgw.db2name(session_user)::varchar(8);
