#!/usr/bin/perl
# Reads a table with DBD::XBase (the XBase module) and prints it as JSON: one line with the header
# facts, then one line per record; texts decoded from Windows-1252, blank values as null.
#
# usage: xbase_dump.pl TABLE [MEMOSEP_HEX]
use strict;
use warnings;
use Encode qw(decode);
use JSON::PP;

BEGIN {
  eval { require XBase; XBase->import; 1 }
    or do { print STDERR "FAIL: Perl module XBase is missing (Debian package libdbd-xbase-perl; run scripts/deps): $@"; exit 1 };
}

my ($table, $memosep) = @ARGV;
defined $table or do { print STDERR "usage: $0 TABLE [MEMOSEP_HEX]\n"; exit 2 };
my @open = defined $memosep ? (memosep => pack('H*', $memosep)) : ();
my $t = XBase->new(name => $table, @open) or do { print STDERR 'XBase: ' . XBase->errstr . "\n"; exit 1 };
my $json = JSON::PP->new->canonical->utf8;
my @names = $t->field_names;
my @types = map { $t->field_type($_) } @names;
print $json->encode({records => $t->last_record + 1, fields => \@names}), "\n";
for my $i (0 .. $t->last_record) {
  my $h = $t->get_record_as_hash($i) or do { print STDERR 'XBase: ' . $t->errstr . "\n"; exit 1 };
  next if $h->{_DELETED};
  my %row;
  for my $k (0 .. $#names) {
    my ($name, $type, $v) = ($names[$k], $types[$k], $h->{$names[$k]});
    if (!defined $v) {
      $row{$name} = undef;
    } elsif ($type eq 'C' || $type eq 'M') {
      $row{$name} = decode('cp1252', $v);
    } elsif ($type eq 'N' || $type eq 'F') {
      $row{$name} = $v + 0;
    } elsif ($type eq 'L') {
      $row{$name} = $v ? JSON::PP::true : JSON::PP::false;
    } else {
      $row{$name} = "$v";
    }
  }
  print $json->encode(\%row), "\n";
}
