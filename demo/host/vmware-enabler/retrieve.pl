# retrieve.pl of the demo host. vmware-enabler runs it with VmPerl's perl in
# the directory the enabler was started in. It hands the script the host's
# identity and capacity on the command line, the physical-processor record in
# PHYSICAL_PROCESSOR, and a PATH that leads to the VmPerl and VMware Server
# installations. The real script passes them on to VMware; this one prints
# what it received and ends with the status in DEMO_RETRIEVE_STATUS (0 when
# unset). vmware-enabler ends with 0, 6 or 7 when the script does, and with 5
# for any other status.
use strict;
use warnings;

my @meanings = ('node id (BIOS serial number)', 'manufacturer', 'product',
                'version', 'type', 'capacity (physical processor packages)',
                'log flag');

printf "retrieve.pl received %d arguments:\n", scalar @ARGV;
for my $i (0 .. $#ARGV) {
    printf "  %d  %-40s '%s'\n", $i + 1, $meanings[$i] // '', $ARGV[$i];
}
print "and in its environment:\n";
for my $name ('PATH', 'PHYSICAL_PROCESSOR') {
    printf "  %-19s %s\n", $name,
        defined $ENV{$name} ? "'$ENV{$name}'" : '(not set)';
}
my $status = $ENV{DEMO_RETRIEVE_STATUS} // 0;
print "It ends with status $status.\n";
exit $status;
