-- 60-catalog-views.sql - the DB2 system catalog as views: SYSIBM.SYSTABLES, SYSCOLUMNS, SYSINDEXES,
-- SYSKEYS, SYSVIEWS, SYSTABAUTH, SYSCOLAUTH (and SYSDUMMY1).
--
-- Every column has DB2's name, type and width (creators CHAR(8), names VARCHAR(18), codes CHAR(1),
-- counts SMALLINT), so a client binds them as it would on DB2; names are shown in DB2 form. COLTYPE
-- is always one of INTEGER, SMALLINT, FLOAT, CHAR, VARCHAR, LONGVAR, DECIMAL, DATE, TIME, TIMESTMP,
-- and agrees with the type a result set delivers for the column. SYSTABAUTH has no CREATOR or NAME
-- column, so the table list's unqualified CREATOR / NAME resolve to SYSTABLES. kwgw.install_view
-- replaces the views in place on every run, so a user's views built on them survive upgrades.

-- DB2's type of a PostgreSQL column: COLTYPE, LENGTH and SCALE, as the column travels in a result
-- set: bigint as INTEGER, a DECIMAL without precision as DECIMAL(31,6), character data without a
-- length as LONG VARCHAR of 32700, any other type as VARCHAR(254). (A function's result loses its
-- length, so the views cast COLTYPE to CHAR(8) again.)
create or replace function kwgw.coltype(p_type name, p_tm int) returns char(8)
  language sql immutable
  return case p_type
    when 'int2' then 'SMALLINT' when 'int4' then 'INTEGER' when 'int8' then 'INTEGER'
    when 'float4' then 'FLOAT' when 'float8' then 'FLOAT'
    when 'numeric' then 'DECIMAL'
    when 'bpchar' then case when p_tm < 0 then 'LONGVAR' else 'CHAR' end
    when 'varchar' then case when p_tm < 0 then 'LONGVAR' else 'VARCHAR' end
    when 'text' then 'LONGVAR'
    when 'date' then 'DATE' when 'time' then 'TIME' when 'timestamp' then 'TIMESTMP'
    else 'VARCHAR' end;

create or replace function kwgw.collength(p_type name, p_tm int) returns int2
  language sql immutable
  return case p_type
    when 'int2' then 2 when 'int4' then 4 when 'int8' then 4 when 'float4' then 4 when 'float8' then 8
    when 'numeric' then case when p_tm < 0 then 31 else ((p_tm - 4) >> 16) & 65535 end
    when 'bpchar' then case when p_tm < 0 then 32700 else p_tm - 4 end
    when 'varchar' then case when p_tm < 0 then 32700 else p_tm - 4 end
    when 'text' then 32700
    when 'date' then 4 when 'time' then 3 when 'timestamp' then 10
    else 254 end;

-- The scale is the low 11 bits of the typmod, sign-extended; DB2 has no negative scale.
create or replace function kwgw.colscale(p_type name, p_tm int) returns int2
  language sql immutable
  return case when p_type = 'numeric' and p_tm < 0 then 6
              when p_type = 'numeric'
              then least(greatest(((p_tm - 4) & 2047) - case when (p_tm - 4) & 1024 <> 0 then 2048 else 0 end, 0),
                         ((p_tm - 4) >> 16) & 65535)
              else 0 end;

call kwgw.install_view('sysibm.systables', $view$
select kwgw.db2name(r.relname)::varchar(18) as name,
  kwgw.db2name(r.nspname)::char(8) as creator,
  (case when r.relkind in ('v', 'm') and r.nspname <> 'sysibm' then 'V' else 'T' end)::char(1) as type,
  (case when r.nspname = 'sysibm' then 'DSNDB06' when r.relkind in ('v', 'm') then 'DSNDB06'
        else coalesce(ts.dbname, 'DSNDB04') end)::char(8) as dbname,
  (case when r.nspname = 'sysibm' then 'SYSDBASE' when r.relkind in ('v', 'm') then 'SYSVIEWS'
        else coalesce(ts.tsname, upper(left(kwgw.db2name(r.relname), 8))) end)::char(8) as tsname,
  (select count(*) from kwgw.col c where c.relid = r.relid)::int2 as colcount,
  ' '::char(8) as edproc,
  ' '::char(8) as valproc,
  ' '::char(1) as clustertype,
  (case when c.reltuples < 0 or r.relkind in ('v', 'm') then -1 else c.reltuples end)::int4 as card,
  (case when c.reltuples < 0 or r.relkind in ('v', 'm') then -1 else c.relpages end)::int4 as npages,
  (case when c.reltuples < 0 or r.relkind in ('v', 'm') then -1 else 100 end)::int2 as pctpages,
  (case when r.nspname = 'sysibm' then 'Y' else 'N' end)::char(1) as ibmreqd,
  coalesce(obj_description(r.relid, 'pg_class'), '')::varchar(254) as remarks,
  (select count(*) from pg_constraint k where k.conrelid = r.relid and k.contype = 'f')::int2 as parents,
  (select count(*) from pg_constraint k where k.confrelid = r.relid and k.contype = 'f')::int2 as children,
  coalesce((select cardinality(k.conkey) from pg_constraint k
            where k.conrelid = r.relid and k.contype = 'p'), 0)::int2 as keycolumns,
  ' '::char(1) as status,
  ''::varchar(30) as label,
  kwgw.db2name(pg_get_userbyid(r.relowner))::char(8) as createdby,
  ' '::char(8) as tbcreator,
  ''::varchar(18) as tbname
from kwgw.rel r join pg_class c on c.oid = r.relid
left join kwgw.table_space ts on ts.relid = r.relid$view$);

call kwgw.install_view('sysibm.syscolumns', $view$
select kwgw.db2name(c.attname)::varchar(18) as name,
  kwgw.db2name(r.relname)::varchar(18) as tbname,
  kwgw.db2name(r.nspname)::char(8) as tbcreator,
  c.colno,
  kwgw.coltype(c.typname, c.tm)::char(8) as coltype,
  kwgw.collength(c.typname, c.tm) as length,
  kwgw.colscale(c.typname, c.tm) as scale,
  (case when c.attnotnull or r.nspname = 'sysibm' then 'N'
        when r.relkind in ('v', 'm') and kwgw.view_column_not_null(r.relid, c.attnum) then 'N'
        else 'Y' end)::char(1) as nulls,
  (-1)::int4 as colcard,
  ' '::char(8) as high2key,
  ' '::char(8) as low2key,
  (case when r.relkind in ('v', 'm') and pg_relation_is_updatable(r.relid, false) & 4 = 0
        then 'N' else 'Y' end)::char(1) as updates,
  (case when r.nspname = 'sysibm' then 'Y' else 'N' end)::char(1) as ibmreqd,
  coalesce(col_description(c.relid, c.attnum), '')::varchar(254) as remarks,
  (case when c.atthasdef then 'Y' else 'N' end)::char(1) as "default",
  coalesce((select array_position(k.conkey, c.attnum) from pg_constraint k
            where k.conrelid = c.relid and k.contype = 'p'), 0)::int2 as keyseq,
  (case when kwgw.coltype(c.typname, c.tm) in ('CHAR', 'VARCHAR', 'LONGVAR') then 'S' else ' ' end)::char(1)
    as foreignkey,
  ' '::char(8) as fldproc,
  ''::varchar(30) as label
from kwgw.col c join kwgw.rel r on r.relid = c.relid$view$);

call kwgw.install_view('sysibm.sysindexes', $view$
select kwgw.db2name(ic.relname)::varchar(18) as name,
  kwgw.db2name(coalesce(cr.creator, r.nspname))::char(8) as creator,
  kwgw.db2name(r.relname)::varchar(18) as tbname,
  kwgw.db2name(r.nspname)::char(8) as tbcreator,
  (case when i.indisprimary then 'P' when i.indisunique then 'U' else 'D' end)::char(1) as uniquerule,
  i.indnkeyatts::int2 as colcount,
  (case when i.indisclustered then 'Y' else 'N' end)::char(1) as clustering,
  -- DB2 sets CLUSTERED from statistics; here it shows the declaration, which is what clients read it for.
  (case when i.indisclustered then 'Y' else 'N' end)::char(1) as clustered,
  coalesce(ts.dbname, 'DSNDB04')::char(8) as dbname,
  upper(left(kwgw.db2name(ic.relname), 8))::char(8) as indexspace,
  (-1)::int4 as firstkeycard,
  (-1)::int4 as fullkeycard,
  (-1)::int4 as nleaf,
  (-1)::int2 as nlevels,
  'BP0'::char(8) as bpool,
  (4096)::int2 as pgsize,
  'N'::char(1) as eraserule,
  'Y'::char(1) as closerule,
  (case when r.nspname = 'sysibm' then 'Y' else 'N' end)::char(1) as ibmreqd,
  (0)::int2 as clusterratio,
  kwgw.db2name(pg_get_userbyid(r.relowner))::char(8) as createdby
from pg_index i join pg_class ic on ic.oid = i.indexrelid
join kwgw.rel r on r.relid = i.indrelid
left join kwgw.index_creator cr on cr.indexrelid = i.indexrelid
left join kwgw.table_space ts on ts.relid = r.relid
where i.indpred is null and i.indexprs is null   -- partial and expression indexes have no DB2 form
  and char_length(ic.relname) <= 18$view$);

call kwgw.install_view('sysibm.syskeys', $view$
select kwgw.db2name(ic.relname)::varchar(18) as ixname,
  kwgw.db2name(coalesce(cr.creator, r.nspname))::char(8) as ixcreator,
  kwgw.db2name(c.attname)::varchar(18) as colname,
  c.colno,
  k.seq::int2 as colseq,
  (case when (i.indoption::int2[])[k.seq - 1] & 1 = 1 then 'D' else 'A' end)::char(1) as ordering,
  (case when r.nspname = 'sysibm' then 'Y' else 'N' end)::char(1) as ibmreqd
from pg_index i join pg_class ic on ic.oid = i.indexrelid
join kwgw.rel r on r.relid = i.indrelid
left join kwgw.index_creator cr on cr.indexrelid = i.indexrelid
cross join lateral unnest(i.indkey::int2[]) with ordinality as k(attnum, seq)
join kwgw.col c on c.relid = i.indrelid and c.attnum = k.attnum
where k.seq <= i.indnkeyatts and i.indpred is null and i.indexprs is null
  and char_length(ic.relname) <= 18$view$);

-- The view text in pieces of at most 254 characters, each cut before a run of blanks so that no
-- piece ends in a blank (a client that strips trailing blanks would glue two words together).
call kwgw.install_view('sysibm.sysviews', $view$
with recursive t as (
  select r.relid, r.relname, r.nspname, coalesce(vt.check_option, 'N') as check_option,
    coalesce(vt.stmt, 'CREATE VIEW ' || kwgw.db2qname(r.nspname, r.relname) || ' AS'
                      || rtrim(pg_get_viewdef(r.relid), ';')) as stmt
  from kwgw.rel r left join kwgw.view_text vt on vt.relid = r.relid
  where r.relkind in ('v', 'm') and r.nspname <> 'sysibm'
), piece as (
  select relid, 0 as seqno, stmt as rest, left(stmt, 0) as text from t
  union all
  select relid, seqno + 1, substr(rest, cut + 1), substr(rest, 1, cut)
  from (select p.*, coalesce(nullif(char_length(rtrim(substr(p.rest, 1, 254), ' ')), 0), 254) as cut
        from piece p where p.rest <> '') q
)
select kwgw.db2name(t.relname)::varchar(18) as name,
  kwgw.db2name(t.nspname)::char(8) as creator,
  p.seqno::int2 as seqno,
  t.check_option::char(1) as "check",
  'N'::char(1) as ibmreqd,
  p.text::varchar(254) as text
from t join piece p on p.relid = t.relid and p.seqno > 0$view$);

call kwgw.install_view('sysibm.systabauth', $view$
with f as (
  select relid, grantor, grantee,
    max(case when priv = 'SELECT' then lvl else 0 end) as sel,
    max(case when priv = 'INSERT' then lvl else 0 end) as ins,
    max(case when priv = 'DELETE' then lvl else 0 end) as del,
    max(case when priv = 'UPDATE' then lvl else 0 end) as upd,
    max(case when priv = 'UPDCOL' then lvl else 0 end) as updcol,
    max(case when priv = 'ALTER' then lvl else 0 end) as alt,
    max(case when priv = 'INDEX' then lvl else 0 end) as idx
  from kwgw.auth group by relid, grantor, grantee
)
select kwgw.authname(f.grantor)::char(8) as grantor,
  kwgw.authname(f.grantee)::char(8) as grantee,
  ' '::char(1) as granteetype,
  ' '::char(8) as dbname,
  kwgw.db2name(r.nspname)::char(8) as screator,
  kwgw.db2name(r.relname)::varchar(18) as stname,
  kwgw.db2name(r.nspname)::char(8) as tcreator,
  kwgw.db2name(r.relname)::varchar(18) as ttname,
  ' '::char(1) as authhowgot,
  ' '::char(6) as dategranted,
  ' '::char(8) as timegranted,
  (case when f.upd = 0 and f.updcol > 0 then '*' else ' ' end)::char(1) as updatecols,
  (case f.alt when 2 then 'G' when 1 then 'Y' else ' ' end)::char(1) as alterauth,
  (case f.del when 2 then 'G' when 1 then 'Y' else ' ' end)::char(1) as deleteauth,
  (case f.idx when 2 then 'G' when 1 then 'Y' else ' ' end)::char(1) as indexauth,
  (case f.ins when 2 then 'G' when 1 then 'Y' else ' ' end)::char(1) as insertauth,
  (case f.sel when 2 then 'G' when 1 then 'Y' else ' ' end)::char(1) as selectauth,
  (case greatest(f.upd, f.updcol) when 2 then 'G' when 1 then 'Y' else ' ' end)::char(1) as updateauth,
  (case when r.nspname = 'sysibm' then 'Y' else 'N' end)::char(1) as ibmreqd
from f join kwgw.rel r on r.relid = f.relid
where greatest(f.sel, f.ins, f.del, f.upd, f.updcol, f.alt, f.idx) > 0
  -- an authorization id longer than DB2's 8 characters would show truncated, as someone else
  and char_length(kwgw.authname(f.grantor)) <= 8 and char_length(kwgw.authname(f.grantee)) <= 8$view$);

call kwgw.install_view('sysibm.syscolauth', $view$
select kwgw.authname(x.grantor)::char(8) as grantor,
  kwgw.authname(x.grantee)::char(8) as grantee,
  ' '::char(1) as granteetype,
  kwgw.db2name(r.nspname)::char(8) as creator,
  kwgw.db2name(r.relname)::varchar(18) as tname,
  ' '::char(6) as dategranted,
  ' '::char(8) as timegranted,
  kwgw.db2name(a.attname)::varchar(18) as colname,
  'N'::char(1) as ibmreqd
from pg_attribute a join kwgw.rel r on r.relid = a.attrelid
cross join lateral aclexplode(a.attacl) x
where a.attacl is not null and not a.attisdropped and a.attnum > 0 and x.privilege_type = 'UPDATE'
  and char_length(kwgw.authname(x.grantor)) <= 8 and char_length(kwgw.authname(x.grantee)) <= 8$view$);

-- One row, for evaluating expressions: SELECT CURRENT DATE FROM SYSIBM.SYSDUMMY1.
call kwgw.install_view('sysibm.sysdummy1', $view$
select 'Y'::char(1) as ibmreqd$view$);

grant select on all tables in schema sysibm to public;
