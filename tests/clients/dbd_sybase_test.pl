# DBD::Sybase against the gateway: connect, do and selectall with DB2 types, AutoCommit off with
# commit and rollback (checked from a second session), and the key catalog calls.
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

# Keys through sp_pkeys and sp_fkeys (column 4 is the column name, 8 the foreign key's column).
my $pk = $auto->primary_key_info(undef, 'JOE', 'CL_DEPT');
check('primary_key_info', [map { [$_->[2], $_->[3]] } @{$pk->fetchall_arrayref}], [['CL_DEPT', 'DEPTNO']]);
my $fk = $auto->foreign_key_info(undef, undef, 'CL_DEPT', undef, undef, 'CL_EMP');
check('foreign_key_info', [map { [$_->[2], $_->[3], $_->[6], $_->[7]] } @{$fk->fetchall_arrayref}],
      [['CL_DEPT', 'DEPTNO', 'CL_EMP', 'WORKDEPT']]);
$_->finish for $pk, $fk;  # the procedures' return status is still unread

$auto->disconnect;
print "FAIL: $_\n" for @failures;
print 'DBD::Sybase: ', (@failures ? 'failed' : 'all checks passed'), "\n";
exit(@failures ? 1 : 0);
