#!/usr/bin/perl
# An SMPP client on Net::SMPP, for the gateway's interoperability test.
#
#   smpp_client.pl send HOST PORT SYSTEM_ID PASSWORD
#       binds as a transmitter and submits a GSM text, a UCS2 text and a long text split
#       into three parts with a concatenation header, each asking for a receipt; prints
#       "id <message_id>" for every submit_sm_resp ("id -" for an empty one).
#   smpp_client.pl receive HOST PORT SYSTEM_ID PASSWORD COUNT SECONDS
#       binds as a receiver and acknowledges every deliver_sm until COUNT came or SECONDS
#       passed; prints "receipt <receipted_message_id> <stat>" for a receipt and
#       "message <source_addr> <UTF-8 text in hexadecimal>" for a received message.
use strict;
use warnings;
use Net::SMPP;
use Encode qw(encode decode);
use IO::Select;
use Time::HiRes qw(time);

my ($mode, $host, $port, $system_id, $password, $count, $seconds) = @ARGV;
$| = 1;

sub fail { print "error $_[0]\n"; exit 1; }

if ($mode eq 'send') {
    my ($smpp, $resp) = Net::SMPP->new_transmitter($host, port => $port,
        system_id => $system_id, password => $password, smpp_version => 0x34)
        or fail("connect: $!");
    fail("bind status $resp->{status}") if $resp->{status} != 0;
    my @submits = (
        [0, 'Hello from Net::SMPP'],
        [8, encode('UCS-2BE', "\x{4F60}\x{597D}\x{FF0C}\x{4E16}\x{754C}")],
    );
    for my $s (@submits) {
        my $r = $smpp->submit_sm(destination_addr => '8613800138000', dest_addr_ton => 1,
            source_addr => 'Shop', data_coding => $s->[0], registered_delivery => 1,
            short_message => $s->[1]) or fail('submit_sm: no answer');
        fail("submit status $r->{status}") if $r->{status} != 0;
        print "id $r->{message_id}\n";
    }
    my @parts = ('A' x 153, 'B' x 153, 'C' x 40);
    for my $n (1 .. 3) {
        my $udh = pack('CCCCCC', 5, 0, 3, 0x5A, 3, $n);
        my $r = $smpp->submit_sm(destination_addr => '8613800138000', dest_addr_ton => 1,
            source_addr => 'Shop', esm_class => 0x40, data_coding => 0,
            registered_delivery => 1, short_message => $udh . $parts[$n - 1])
            or fail('submit_sm: no answer');
        fail("submit status $r->{status}") if $r->{status} != 0;
        print 'id ', ($r->{message_id} eq '' ? '-' : $r->{message_id}), "\n";
    }
    $smpp->unbind();
    exit 0;
}

if ($mode eq 'receive') {
    my ($smpp, $resp) = Net::SMPP->new_receiver($host, port => $port,
        system_id => $system_id, password => $password, smpp_version => 0x34)
        or fail("connect: $!");
    fail("bind status $resp->{status}") if $resp->{status} != 0;
    my $got = 0;
    my $until = time + $seconds;
    my $ready = IO::Select->new($smpp);
    while ($got < $count) {
        my $left = $until - time;
        if ($left <= 0 || !$ready->can_read($left)) {
            print "timeout\n";
            last;
        }
        my $pdu = $smpp->read_pdu() or fail('connection closed');
        next if $pdu->{cmd} != Net::SMPP::CMD_deliver_sm;
        $got++;
        if ($pdu->{esm_class} & 0x04) {
            my ($stat) = $pdu->{short_message} =~ /stat:(\w+)/;
            my $id = $pdu->{receipted_message_id} // '';
            $id =~ s/\0$//;
            print "receipt $id $stat\n";
        } else {
            my $data = $pdu->{short_message} ne '' ? $pdu->{short_message}
                                                   : $pdu->{message_payload};
            my $text = $pdu->{data_coding} == 8 ? decode('UCS-2BE', $data) : $data;
            print "message $pdu->{source_addr} ", unpack('H*', encode('UTF-8', $text)), "\n";
        }
        $smpp->deliver_sm_resp(seq => $pdu->{seq}, message_id => '');
    }
    $smpp->unbind();
    exit 0;
}
fail("unknown mode $mode");
