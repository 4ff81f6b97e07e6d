#!/usr/bin/perl
# Interoperability with DBD::XBase (the XBase module) in both directions:
# - the engine writes (qdbf create + append) in the dBase III, dBase IV and FoxPro dialects and
#   XBase reads every value back;
# - XBase writes tables with memos as dBase III (.dbt), dBase IV (.dbt, version 0x8B) and FoxPro
#   (.fpt, version 0xF5), and `qdbf dump --format json` reads every value back; then qdbf appends
#   records with memos to the tool's table and XBase reads the whole table back.
# The reference records come from interop_common.py, shared with the Python checks.
#
# usage: interop_xbase.pl QDBF SCRATCH_DIR
use strict;
use warnings;
use Encode qw(encode decode);
use File::Basename qw(dirname);
use File::Path qw(make_path remove_tree);
use IPC::Open3 qw(open3);
use JSON::PP;
use Symbol qw(gensym);

BEGIN {
  eval { require XBase; XBase->import; 1 }
    or do { print STDERR "FAIL: Perl module XBase is missing (Debian package libdbd-xbase-perl; run scripts/deps): $@"; exit 1 };
}

binmode STDOUT, ":encoding(UTF-8)";
my $PYTHON = '/usr/bin/python3';
my @FIELDS = (['CODIGO', 'C', 12, 0], ['NOME', 'C', 30, 0], ['QTD', 'N', 10, 2], ['SALDO', 'N', 8, 0],
              ['DATA', 'D', 8, 0], ['ATIVO', 'L', 1, 0], ['OBS', 'M', 10, 0]);
my @SPECS = map { join(';', @$_) } @FIELDS;

@ARGV == 2 or do { print STDERR "usage: $0 QDBF SCRATCH_DIR\n"; exit 2 };
my ($QDBF, $SCRATCH) = @ARGV;
-x $QDBF or do { print STDERR "FAIL: qdbf binary not found at $QDBF\n"; exit 1 };
remove_tree($SCRATCH);
make_path($SCRATCH);

my @failures;
my @notes;
my $checks = 0;

sub fail_check { my ($where, $msg) = @_; $checks++; push @failures, "$where: $msg"; }

sub shorten {
  my ($v) = @_;
  return 'undef' unless defined $v;
  my $s = "$v";
  return length($s) > 60 ? sprintf("'%s'...(%d chars)", substr($s, 0, 40), length $s) : "'$s'";
}

# Compares one value; numbers numerically, everything else as text. Long texts report the first
# differing offset.
sub check_equal {
  my ($where, $expected, $actual, $numeric) = @_;
  $checks++;
  if (!defined $expected || !defined $actual) {
    return 1 if !defined $expected && !defined $actual;
    push @failures, "$where: expected " . shorten($expected) . ", got " . shorten($actual);
    return 0;
  }
  if ($numeric) {
    return 1 if $actual =~ /^\s*-?[\d.]+(?:[eE][-+]?\d+)?\s*$/ && abs($expected - $actual) < 1e-9;
    push @failures, "$where: expected number $expected, got " . shorten($actual);
    return 0;
  }
  return 1 if $expected eq $actual;
  if (length($expected) <= 60 && length($actual) <= 60) {
    push @failures, "$where: expected '$expected', got '$actual'";
    return 0;
  }
  my $n = 0;
  $n++ while $n < length($expected) && $n < length($actual) && substr($expected, $n, 1) eq substr($actual, $n, 1);
  push @failures, sprintf("%s: expected %d chars, got %d; first difference at offset %d: expected '%s', got '%s'",
                          $where, length $expected, length $actual, $n, substr($expected, $n, 20),
                          substr($actual, $n, 20));
  return 0;
}

# Runs qdbf with byte arguments; dies with its stderr on a non-zero exit.
sub qdbf {
  my @args = @_;
  my $err = gensym;
  my $pid = open3(my $in, my $out, $err, $QDBF, @args);
  close $in;
  local $/;
  my $stdout = <$out> // '';
  my $stderr = <$err> // '';
  waitpid($pid, 0);
  my $rc = $? >> 8;
  if ($rc != 0) {
    my @shown = map { length($_) > 80 ? substr($_, 0, 60) . '...(' . length($_) . ' bytes)' : $_ } @args;
    die "qdbf exited $rc: qdbf @shown\n  stderr: $stderr";
  }
  return $stdout;
}

# Appends one reference record with qdbf, which takes UTF-8 on its command line and stores
# Windows-1252.
sub qdbf_append {
  my ($table, $record) = @_;
  my $v = $record->{values};
  qdbf('append', $table, map { encode('UTF-8', "$_=$v->{$_}") } sort keys %$v);
}

sub reference_records {
  my $common = dirname(__FILE__) . '/interop_common.py';
  open(my $fh, '-|', $PYTHON, $common, 'reference') or die "cannot run $PYTHON $common: $!";
  my @records = map { JSON::PP->new->decode($_) } grep { /\S/ } <$fh>;
  close $fh or die "$PYTHON $common reference failed\n";
  return @records;
}

# The expected value of a field as a reader that follows the stored bytes gives it.
sub logical_or_undef { my ($v) = @_; return defined $v ? ($v ? 1 : 0) : undef; }

# ---- the engine writes, XBase reads ----

sub engine_writes {
  my @records = @_;
  for my $d ([1, 0x83], [2, 0x8B], [3, 0xF5]) {
    my ($dialect, $version) = @$d;
    my $where = "engine type $dialect -> XBase";
    my $table = "$SCRATCH/ENG$dialect.DBF";
    eval {
      qdbf('create', $table, '--type', $dialect, @SPECS);
      qdbf_append($table, $_) for @records;
      1;
    } or do { fail_check($where, "writing failed: $@"); next };

    $checks++;
    if (ord(read_bytes($table, 1)) != $version) { fail_check($where, 'version byte') }
    xbase_reads($where, $table, $version, @records);
  }
}

# Reads every record of $table with XBase and compares it with the expected records.
sub xbase_reads {
  my ($where, $table, $version, @expected) = @_;
  # XBase looks for the dBase III terminator 0x1A 0x1A inside one block and misses it when the
  # pair straddles a block boundary (a 511-byte memo); told to stop at the first 0x1A, as dBase
  # does, it reads every memo.
  my @open = $version == 0x83 ? (memosep => "\x1a") : ();
  my $t = XBase->new(name => $table, @open);
  if (!$t) { fail_check($where, 'XBase cannot open the table: ' . XBase->errstr); return }
  check_equal("$where record count", scalar @expected, $t->last_record + 1, 1);
  for my $i (0 .. $#expected) {
    my $exp = $expected[$i]{expected};
    my $at = "$where record " . ($i + 1);
    my $got = $t->get_record_as_hash($i);
    if (!$got) { fail_check($at, 'XBase: ' . $t->errstr); next }
    check_equal("$at deleted flag", 0, $got->{_DELETED}, 1);
    for my $f (@FIELDS) {
      my ($name, $type) = @$f;
      my $v = $got->{$name};
      if ($type eq 'M' && $exp->{$name} eq '' && ($v // '') ne '' && raw_field($table, $i, $name) =~ /^ *0$/) {
        # The engine stores the block number 0 for an empty memo; XBase takes it for a block
        # number and reads the memo file header as the text.
        push @notes, "$at: XBase reads the memo reference 0 as block 0 (" . length($v) . ' bytes of the memo file header)';
        $checks++;
        next;
      }
      if ($type eq 'C' || $type eq 'M') {
        $v = decode('cp1252', $v // '');
        $v =~ s/ +$// if $type eq 'C';
        check_equal("$at field $name", $exp->{$name}, $v, 0);
      } elsif ($type eq 'N') {
        check_equal("$at field $name", $exp->{$name}, $v, 1);
      } elsif ($type eq 'D') {
        check_equal("$at field $name", $exp->{$name}, $v // '', 0);
      } elsif ($type eq 'L') {
        my $e = logical_or_undef($exp->{$name});
        check_equal("$at field $name", defined $e ? $e : 'undef', defined $v ? ($v ? 1 : 0) : 'undef', 0);
      }
    }
  }
  $t->close;
}

# The stored bytes of a field of record $index (from 0), found from the header and the field list.
sub raw_field {
  my ($path, $index, $name) = @_;
  my $head = read_bytes($path, 12);
  my ($header_length, $record_length) = unpack('v v', substr($head, 8, 4));
  my $offset = 1;
  for my $f (@FIELDS) {
    return substr(read_bytes($path, $header_length + ($index + 1) * $record_length),
                  $header_length + $index * $record_length + $offset, $f->[2]) if $f->[0] eq $name;
    $offset += $f->[2];
  }
  die "no field $name";
}

sub read_bytes {
  my ($path, $n) = @_;
  open(my $fh, '<:raw', $path) or die "$path: $!";
  read($fh, my $buf, $n);
  close $fh;
  return $buf;
}

# ---- XBase writes, the engine reads ----

sub tool_writes {
  my ($records, $extra) = @_;
  my @records = @$records;
  my @extra = @$extra;
  # create options, the version byte and memo file XBase writes with them.
  my @kinds = (['dBase III', {version => 3}, 0x83, 'DBT'],
               ['dBase IV', {version => 0x8B}, 0x8B, 'DBT'],
               ['FoxPro', {memofile => 'FPT'}, 0xF5, 'FPT']);
  for my $k (@kinds) {
    my ($label, $options, $version, $memo_ext) = @$k;
    my $where = "XBase $label -> engine";
    # XBase recognises the extension ".dbf" only in lower case.
    (my $base = "tool_$label") =~ s/ /_/g;
    my $table = "$SCRATCH/$base.dbf";
    my %opts = %$options;
    $opts{memofile} = "$SCRATCH/$base.fpt" if exists $opts{memofile};
    my $t = XBase->create(name => $table,
                          field_names => [map { $_->[0] } @FIELDS], field_types => [map { $_->[1] } @FIELDS],
                          field_lengths => [map { $_->[2] } @FIELDS], field_decimals => [map { $_->[3] } @FIELDS],
                          %opts);
    if (!$t) { fail_check($where, 'XBase cannot create the table: ' . XBase->errstr); next }
    for my $i (0 .. $#records) {
      my $e = $records[$i]{expected};
      my @values = map {
        my ($name, $type) = @$_;
        my $v = $e->{$name};
        # XBase writes an empty text given for a date as "       0": a blank date is undef.
        $type eq 'L' ? (defined $v ? ($v ? 1 : 0) : undef)
          : $type eq 'D' ? ($v eq '' ? undef : $v)
          : ($type eq 'C' || $type eq 'M') ? encode('cp1252', $v) : $v;
      } @FIELDS;
      $t->set_record($i, @values) or fail_check("$where record " . ($i + 1), 'XBase: ' . $t->errstr);
    }
    $t->close;
    $checks++;
    my $vbyte = ord(read_bytes($table, 1));
    if ($vbyte != $version) { fail_check($where, sprintf('XBase wrote version 0x%02X, expected 0x%02X', $vbyte, $version)) }
    -e "$SCRATCH/$base.$memo_ext" or -e "$SCRATCH/$base." . lc($memo_ext)
      or fail_check($where, "no .$memo_ext memo file was written");

    my $out = eval { qdbf('dump', $table, '--format', 'json') };
    if (!defined $out) { fail_check($where, "qdbf dump failed: $@"); next }
    my @rows = map { JSON::PP->new->utf8->decode($_) } grep { /\S/ } split /\n/, $out;
    check_equal("$where record count", scalar @records, scalar @rows, 1);
    for my $i (0 .. $#records) {
      last if $i > $#rows;
      my $exp = $records[$i]{expected};
      my $got = $rows[$i];
      my $at = "$where record " . ($i + 1);
      for my $f (@FIELDS) {
        my ($name, $type) = @$f;
        if (!exists $got->{$name}) { fail_check("$at field $name", 'missing in qdbf dump'); next }
        my $v = $got->{$name};
        if ($type eq 'N') {
          check_equal("$at field $name", $exp->{$name}, $v, 1);
        } elsif ($type eq 'L') {
          # The engine reads a blank logical as false.
          check_equal("$at field $name", $exp->{$name} ? 'true' : 'false', $v ? 'true' : 'false', 0);
        } else {
          check_equal("$at field $name", $exp->{$name}, $v, 0);
        }
      }
    }

    # The engine appends to the tool's table; XBase reads the old records and the new ones.
    $where = "XBase $label + engine appends -> XBase";
    eval { qdbf_append($table, $_) for @extra; 1 } or do { fail_check($where, "appending failed: $@"); next };
    xbase_reads($where, $table, $version, @records, @extra);
  }
}

# ---- C fields longer than 255 (the decimals byte holds the high byte of the length) ----

sub long_character_fields {
  my $where = 'C field of 300';
  my $text = join('', map { chr(ord('a') + $_ % 26) } 0 .. 299);
  my $table = "$SCRATCH/LONGC.DBF";
  eval {
    qdbf('create', $table, '--type', 1, 'TEXTO;C;300;0', 'NUM;N;5;0');
    qdbf('append', $table, "TEXTO=$text", 'NUM=7');
    1;
  } or do { fail_check($where, "engine writing failed: $@"); return };
  my $t = XBase->new($table) or do { fail_check($where, 'XBase cannot open: ' . XBase->errstr); return };
  check_equal("$where engine -> XBase length", 300, $t->field_length('TEXTO'), 1);
  my (undef, $got, $num) = $t->get_record(0, 'TEXTO', 'NUM');
  check_equal("$where engine -> XBase value", $text, $got, 0);
  check_equal("$where engine -> XBase NUM", 7, $num, 1);
  $t->close;

  my $tool = "$SCRATCH/longc_tool.dbf";
  my $w = XBase->create(name => $tool, field_names => ['TEXTO', 'NUM'], field_types => ['C', 'N'],
                        field_lengths => [300, 5], field_decimals => [0, 0])
    or do { fail_check($where, 'XBase cannot create: ' . XBase->errstr); return };
  $w->set_record(0, $text, 9);
  $w->close;
  my $out = eval { qdbf('dump', $tool, '--format', 'json') };
  if (!defined $out) { fail_check($where, "qdbf dump failed: $@"); return }
  my ($row) = map { JSON::PP->new->utf8->decode($_) } grep { /\S/ } split /\n/, $out;
  check_equal("$where XBase -> engine value", $text, $row->{TEXTO}, 0);
  check_equal("$where XBase -> engine NUM", 9, $row->{NUM}, 1);
}

# ---- deletion flags ----

sub deleted_records {
  my $where = 'XBase deleted record -> engine';
  my $table = "$SCRATCH/deleted.dbf";
  my $w = XBase->create(name => $table, field_names => ['CODIGO'], field_types => ['C'], field_lengths => [6],
                        field_decimals => [0])
    or do { fail_check($where, 'XBase cannot create: ' . XBase->errstr); return };
  $w->set_record($_, "R$_") for 0 .. 2;
  $w->delete_record(1);
  $w->close;
  for my $with_deleted (0, 1) {
    my $out = eval { qdbf('dump', $table, '--format', 'json', $with_deleted ? ('--deleted') : ()) };
    if (!defined $out) { fail_check($where, "qdbf dump failed: $@"); return }
    my @rows = map { JSON::PP->new->utf8->decode($_) } grep { /\S/ } split /\n/, $out;
    my $seen = join(',', map { $_->{CODIGO} . ($with_deleted ? ($_->{_deleted} ? '*' : ' ') : '') } @rows);
    check_equal("$where " . ($with_deleted ? 'with --deleted' : 'without --deleted'),
                $with_deleted ? 'R0 ,R1*,R2 ' : 'R0,R2', $seen, 0);
  }
}

my @all = reference_records();
my @records = grep { $_->{group} eq 'reference' } @all;
my @extra = grep { $_->{group} eq 'extra' } @all;
engine_writes(@records);
tool_writes(\@records, \@extra);
long_character_fields();
deleted_records();

print "note: $_\n" for @notes;
if (@failures) {
  printf "XBase interoperability: %d of %d checks FAILED\n", scalar @failures, $checks;
  print "  - $_\n" for @failures;
  exit 1;
}
print "XBase interoperability: $checks checks passed\n";
exit 0;
