#!/usr/bin/perl
# Reads one tag of an index file with Perl XBase (an independent reader) and prints
# `recno<TAB>key` per entry in its order (keys other than text in hex). Usage: index_read_xbase.pl FILE TYPE(C|N|D) [TAG]
use strict;
use warnings;
use XBase::Index;

my ($file, $type, $tag) = @ARGV;
my %options = (type => $type);
$options{tag} = $tag if defined $tag;
my $index = XBase::Index->new($file, %options) or die XBase::Index->errstr;
$index->prepare_select;
while (my ($key, $recno) = $index->fetch) {
  # Text keys without trailing blanks; other keys as the reader returns them, in hex, since they
  # may be raw bytes.
  if ($type eq 'C') {
    $key =~ s/\s+$//;
  } else {
    $key = unpack('H*', $key);
  }
  print "$recno\t$key\n";
}
