# DBD::Sybase against the gateway: connect, do and selectall with DB2 types, placeholders with bind
# values of every type, AutoCommit off with commit and rollback (checked from a second session),
# and the catalog calls (table_info, column_info, primary_key_info, foreign_key_info).
#
# DBD::Sybase runs AutoCommit off in chained mode (the CHAINED option, which the gateway serves
# as its long-transaction mode) and ends units of work with COMMIT TRAN / ROLLBACK TRAN; with
# syb_chained_txn off it brackets them with BEGIN TRAN itself.
# Exits non-zero with a message for each wrong value.
use strict;
use warnings;
use DBI;

my @failures;

# Compares two values, or two lists of rows, as text; undef stands for NULL.
sub show {
    my ($v) = @_;
    return 'undef' unless defined $v;
    return '[' . join(', ', map { show($_) } @$v) . ']' if ref $v eq 'ARRAY';
    return "'$v'";
}

sub check {
    my ($what, $got, $expected) = @_;
    my ($g, $e) = (show($got), show($expected));
    push @failures, "$what: got $g, expected $e" if $g ne $e;
}

sub connect_gateway {
    my (%attr) = @_;
    my $dsn = "dbi:Sybase:server=$ENV{KWGW_SERVER};database=$ENV{KWGW_DATABASE}";
    my $dbh = DBI->connect($dsn, $ENV{KWGW_USER}, $ENV{KWGW_PASSWORD},
                           {RaiseError => 1, PrintError => 0, %attr});
    die "cannot connect: $DBI::errstr\n" unless $dbh;
    return $dbh;
}

sub keys_of {
    my ($dbh) = @_;
    return [map { $_->[0] } @{$dbh->selectall_arrayref('SELECT K FROM CL_TX ORDER BY K')}];
}

my $auto = connect_gateway(AutoCommit => 1);

# Types: INTEGER, DECIMAL, VARCHAR, DATE, TIMESTAMP and NULL, as the gateway answers them.
check('insert count', $auto->do(q{INSERT INTO CL_TYPES VALUES
    (1, 1234.50, 'O''Brien', '2001-03-05', '2001-03-05-07.43.54.000120')}), 1);
$auto->do('INSERT INTO CL_TYPES VALUES (2, -0.05, NULL, NULL, NULL)');
check('typed rows',
      $auto->selectall_arrayref('SELECT K, AMOUNT, NAME, BORN, SEEN FROM CL_TYPES ORDER BY K'),
      [[1, '1234.50', "O'Brien", '2001-03-05', '2001-03-05-07.43.54.000120'],
       [2, '-0.05', undef, undef, undef]]);
check('an update count', $auto->do("UPDATE CL_TYPES SET NAME = 'X' WHERE K > 0"), 2);
check('a failed statement reports its SQLCODE',
      eval { $auto->do('INSERT INTO CL_TYPES VALUES (1, 0, NULL, NULL, NULL)'); 1 } ? 'accepted'
          : ($auto->errstr =~ /-803/ ? 'has -803' : $auto->errstr),
      'has -803');
check('@@trancount with AutoCommit on', ($auto->selectrow_array('SELECT @@TRANCOUNT'))[0], 0);

# AutoCommit off: work is held until commit and undone by rollback. DBD::Sybase 1.14 switches the
# CHAINED option when AutoCommit changes on an open handle, but not for AutoCommit => 0 given to
# connect (its login always asks for CHAINED off), so the handle is opened with AutoCommit on and
# then switched.
my $work = connect_gateway(AutoCommit => 1);
$work->{AutoCommit} = 0;
$work->do("INSERT INTO CL_TX VALUES (1, 'one')");
$work->do("INSERT INTO CL_TX VALUES (2, 'two')");
check('own uncommitted rows', keys_of($work), [1, 2]);
check('@@trancount inside the unit of work', ($work->selectrow_array('SELECT @@TRANCOUNT'))[0], 1);
check('another session before commit', keys_of($auto), []);
$work->commit;
check('another session after commit', keys_of($auto), [1, 2]);

$work->do("INSERT INTO CL_TX VALUES (3, 'three')");
$work->do("UPDATE CL_TX SET NOTE = 'changed' WHERE K = 1");
$work->do('DELETE FROM CL_TX WHERE K = 2');
check('another session before rollback', keys_of($auto), [1, 2]);
$work->rollback;
check('after rollback, this session', keys_of($work), [1, 2]);
check('after rollback, another session', keys_of($auto), [1, 2]);
check('the update was undone',
      ($auto->selectrow_array('SELECT NOTE FROM CL_TX WHERE K = 1'))[0], 'one');

# A failed statement undoes only itself; the rest of the unit of work commits.
$work->do("INSERT INTO CL_TX VALUES (4, 'four')");
eval { $work->do("INSERT INTO CL_TX VALUES (1, 'again')") };
check('the duplicate failed', $@ ? 'failed' : 'accepted', 'failed');
$work->do("INSERT INTO CL_TX VALUES (5, 'five')");
$work->commit;
check('work around a failed statement is committed', keys_of($auto), [1, 2, 4, 5]);

# Switching AutoCommit back on commits what is pending, and later work is committed at once.
$work->do("INSERT INTO CL_TX VALUES (6, 'six')");
$work->{AutoCommit} = 1;
check('switching AutoCommit on commits', keys_of($auto), [1, 2, 4, 5, 6]);
$work->do('DELETE FROM CL_TX WHERE K = 6');
check('AutoCommit on again', keys_of($auto), [1, 2, 4, 5]);

# Disconnecting with work pending undoes it.
$work->{AutoCommit} = 0;
$work->do("INSERT INTO CL_TX VALUES (7, 'seven')");
$work->disconnect;
check('work pending at disconnect is undone', keys_of($auto), [1, 2, 4, 5]);

# Without chained mode (syb_chained_txn => 0) DBD::Sybase opens each unit of work itself with a
# named BEGIN TRAN and ends it with COMMIT TRAN / ROLLBACK TRAN of that name; here AutoCommit => 0
# holds from connect on.
my $named = connect_gateway(AutoCommit => 0, syb_chained_txn => 0);
$named->do("INSERT INTO CL_TX VALUES (10, 'ten')");
check('BEGIN TRAN: @@trancount', ($named->selectrow_array('SELECT @@TRANCOUNT'))[0], 1);
check('BEGIN TRAN: another session before commit', keys_of($auto), [1, 2, 4, 5]);
$named->commit;
check('BEGIN TRAN: another session after commit', keys_of($auto), [1, 2, 4, 5, 10]);
$named->do('DELETE FROM CL_TX WHERE K = 1');
check('BEGIN TRAN: own delete', keys_of($named), [2, 4, 5, 10]);
$named->rollback;
check('BEGIN TRAN: after rollback', keys_of($auto), [1, 2, 4, 5, 10]);
$named->disconnect;

# Placeholders: DBD::Sybase prepares a statement with ? markers as a dynamic statement, learns the
# parameters' types from the gateway's description and executes it once per set of values. Values
# are Perl scalars (numbers and strings); DECIMAL, DATE, TIME and TIMESTAMP go in and come back in
# DB2's text forms, undef is NULL.
my @typed = (
    [11, -7, '-0.005', 0.001, 'x', "it's", 'long', '2024-02-29', '23.59.58', '2023-12-31-23.59.58.500000'],
    [12, 32767, '99999999.999', -2.5e10, 'abcde', 'plain', 'text', '1900-01-01', '00.00.00',
     '1999-01-01-00.00.00.000000'],
    [13, undef, undef, undef, undef, undef, undef, undef, undef, undef],
);
my $ins = $auto->prepare('INSERT INTO CL_ALL VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)');
check('placeholders counted', $ins->{NUM_OF_PARAMS}, 10);
for my $row (@typed) {
    check("placeholder insert of row $row->[0]", $ins->execute(@$row), 1);
}
my $sel = $auto->prepare('SELECT SI, DEC, FL, CH, VC, LV, DT, TM, TS FROM CL_ALL WHERE K = ?');
my %back = (
    11 => [-7, '-0.005', 0.001, 'x    ', "it's", 'long', '2024-02-29', '23.59.58', '2023-12-31-23.59.58.500000'],
    12 => [32767, '99999999.999', -2.5e10, 'abcde', 'plain', 'text', '1900-01-01', '00.00.00',
           '1999-01-01-00.00.00.000000'],
    13 => [(undef) x 9],
);
for my $k (11, 12, 13) {
    $sel->execute($k);
    check("placeholder select of row $k", $sel->fetchall_arrayref, [$back{$k}]);
}
$sel->execute(99);
check('placeholder select of no row', $sel->fetchall_arrayref, []);
check('do with bind values', $auto->do('UPDATE CL_ALL SET VC = ? WHERE K BETWEEN ? AND ?', undef, "O'Neil", 11, 12), 2);
check('a quote in a bind value is data',
      $auto->selectall_arrayref('SELECT K FROM CL_ALL WHERE VC = ? ORDER BY K', undef, "O'Neil"), [[11], [12]]);
check('a DB2 date as a bind value',
      $auto->selectall_arrayref('SELECT K FROM CL_ALL WHERE DT > ? ORDER BY K', undef, '2000-01-01'), [[11]]);

# AutoCommit => 0 given to connect: DBD::Sybase 1.14 ignores the first AutoCommit store DBI makes
# (toggle_autocommit returns while its init_done flag is unset), so plain AutoCommit => 0 leaves
# CHAINED off and every statement commits on its own. syb_chained_txn => 1, which DBI stores
# after AutoCommit, switches CHAINED on: the unit of work then holds from connect on.
my $held = connect_gateway(AutoCommit => 0, syb_chained_txn => 1);
$held->do("INSERT INTO CL_TX VALUES (20, 'twenty')");
check('AutoCommit => 0 at connect: @@trancount', ($held->selectrow_array('SELECT @@TRANCOUNT'))[0], 1);
check('AutoCommit => 0 at connect: another session before commit', keys_of($auto), [1, 2, 4, 5, 10]);
$held->commit;
check('AutoCommit => 0 at connect: after commit', keys_of($auto), [1, 2, 4, 5, 10, 20]);
$held->do('DELETE FROM CL_TX WHERE K = 20');
$held->rollback;
check('AutoCommit => 0 at connect: after rollback', keys_of($auto), [1, 2, 4, 5, 10, 20]);
eval { $held->do("INSERT INTO CL_TX VALUES (1, 'duplicate')") };
check('AutoCommit => 0 at connect: a duplicate fails alone', $@ =~ /-803/ ? 'failed' : "got: $@", 'failed');
$held->do('DELETE FROM CL_TX WHERE K = 20');
$held->commit;
check('AutoCommit => 0 at connect: work after a failure commits', keys_of($auto), [1, 2, 4, 5, 10]);
$held->disconnect;

# Keys through sp_pkeys and sp_fkeys (column 4 is the column name, 8 the foreign key's column).
my $pk = $auto->primary_key_info(undef, 'JOE', 'CL_DEPT');
check('primary_key_info', [map { [$_->[2], $_->[3]] } @{$pk->fetchall_arrayref}], [['CL_DEPT', 'DEPTNO']]);
my $fk = $auto->foreign_key_info(undef, undef, 'CL_DEPT', undef, undef, 'CL_EMP');
check('foreign_key_info', [map { [$_->[2], $_->[3], $_->[6], $_->[7]] } @{$fk->fetchall_arrayref}],
      [['CL_DEPT', 'DEPTNO', 'CL_EMP', 'WORKDEPT']]);
$_->finish for $pk, $fk;  # the procedures' return status is still unread

# Tables and columns through sp_tables and sp_columns (by position: DBD::Sybase passes on the
# first five columns of sp_tables and renames those of sp_columns).
my $ti = $auto->table_info(undef, 'JOE', 'CL\_%', 'TABLE');
check('table_info', [map { [@$_[1 .. 3]] } @{$ti->fetchall_arrayref}],
      [['JOE', 'CL_ALL', 'TABLE'], ['JOE', 'CL_DEPT', 'TABLE'], ['JOE', 'CL_EMP', 'TABLE'],
       ['JOE', 'CL_TX', 'TABLE'], ['JOE', 'CL_TYPES', 'TABLE']]);
$ti->finish;
my $vi = $auto->table_info(undef, 'JOE', 'CL_EMP%', 'VIEW');
check('table_info of views', [map { [@$_[2 .. 3]] } @{$vi->fetchall_arrayref}], [['CL_EMP_V', 'VIEW']]);
$vi->finish;
my $ci = $auto->column_info(undef, 'JOE', 'CL_ALL', undef);
my @fields = qw(COLUMN_NAME DATA_TYPE TYPE_NAME COLUMN_SIZE DECIMAL_DIGITS NULLABLE ORDINAL_POSITION IS_NULLABLE);
check('column_info of CL_ALL', [map { [@$_{@fields}] } @{$ci->fetchall_arrayref({})}],
      [['K', 4, 'INTEGER', 10, 0, 0, 1, 'NO'],
       ['SI', 5, 'SMALLINT', 5, 0, 1, 2, 'YES'],
       ['DEC', 3, 'DECIMAL', 11, 3, 1, 3, 'YES'],
       ['FL', 8, 'FLOAT', 15, undef, 1, 4, 'YES'],
       ['CH', 1, 'CHAR', 5, undef, 1, 5, 'YES'],
       ['VC', 12, 'VARCHAR', 30, undef, 1, 6, 'YES'],
       ['LV', -1, 'LONG VARCHAR', 32700, undef, 1, 7, 'YES'],
       ['DT', 9, 'DATE', 10, undef, 1, 8, 'YES'],
       ['TM', 10, 'TIME', 8, 0, 1, 9, 'YES'],
       ['TS', 11, 'TIMESTAMP', 26, 6, 1, 10, 'YES']]);

$auto->disconnect;
print "FAIL: $_\n" for @failures;
print 'DBD::Sybase: ', (@failures ? 'failed' : 'all checks passed'), "\n";
exit(@failures ? 1 : 0);
