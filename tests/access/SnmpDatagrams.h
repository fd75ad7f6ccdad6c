#pragma once

#include "access/Ber.h"

#include <QByteArray>
#include <QList>

// Datagrams for the decoder's tests: builders, one good response written out by hand, and
// the table of datagrams that must be refused whole.

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

inline QByteArray tlv(quint8 tag, const QByteArray &content)
{
    QByteArray out;
    Ber::appendTlv(out, tag, content);
    return out;
}

const QByteArray kZero = hex("020100");
const QByteArray kSysContactOid = hex("06082b06010201010400");

inline QByteArray binding(const QByteArray &value, const QByteArray &oid = kSysContactOid)
{
    return tlv(0x30, oid + value);
}

// A message around the given PDU fields and bindings, version and community as given.
inline QByteArray message(quint8 pdu, const QByteArray &fields, const QByteArray &bindings, const QByteArray &version = kZero,
                          const QByteArray &community = tlv(0x04, "vemtal"))
{
    return tlv(0x30, version + community + tlv(pdu, fields + tlv(0x30, bindings)));
}

// A GetResponse to request 0 with sysContact "noc", all lengths short, written out by hand.
const QByteArray kGoodResponse = hex(
    "3029"                        // message, 41 bytes
    "020100"                      //   version 0
    "040676656d74616c"            //   community "vemtal"
    "a21c"                        //   GetResponse, 28 bytes
    "020100" "020100" "020100"    //     request id, error status, error index
    "3011"                        //     bindings, 17 bytes
    "300f"                        //       binding, 15 bytes
    "06082b06010201010400"        //         1.3.6.1.2.1.1.4.0
    "04036e6f63");                //         "noc"

struct BadDatagram
{
    QByteArray name;
    QByteArray bytes;
    int code; // 306 for a PDU tag that has no layout here, 305 for everything else
};

// One row per way a datagram can be broken. The rows whose lying length stands last in
// the datagram are the ones that would read past its end.
inline QList<BadDatagram> refusedDatagrams()
{
    QList<BadDatagram> rows;
    for (qsizetype size = 0; size < kGoodResponse.size(); ++size)
        rows.append({"good response cut to " + QByteArray::number(size) + " bytes", kGoodResponse.left(size), 305});

    const QByteArray fields = kZero + kZero + kZero;
    const QByteArray noc = binding(hex("04036e6f63"));
    QByteArray version3 = kGoodResponse;
    version3[4] = 3;
    QByteArray beyond = kGoodResponse;
    beyond[1] = 0x2A;
    QByteArray many;
    for (int i = 0; i < 257; ++i)
        many += binding(hex("0500"));

    rows += {
        {"version 3", version3, 305},
        {"version of 5 bytes", message(0xA2, fields, noc, hex("02050000000000")), 305},
        {"unknown PDU tag a8", message(0xA8, fields, noc), 306},
        {"SNMPv2 trap tag a7", message(0xA7, fields, noc, hex("020101")), 306},
        {"v1 trap tag in a v2c message", message(0xA4, fields, noc, hex("020101")), 306},
        {"not a SEQUENCE", hex("31") + kGoodResponse.mid(1), 305},
        {"community not an OCTET STRING", message(0xA2, fields, noc, kZero, hex("0500")), 305},

        {"message length beyond the datagram", beyond, 305},
        {"value length beyond its binding", message(0xA2, fields, tlv(0x30, kSysContactOid + hex("04056e6f63"))), 305},
        {"OID length beyond its binding", message(0xA2, fields, tlv(0x30, hex("060a2b06010201010400"))), 305},
        {"bindings length beyond the PDU", tlv(0x30, kZero + tlv(0x04, "vemtal") + tlv(0xA2, fields + hex("3012") + noc)), 305},
        {"long-form length bytes beyond the datagram", tlv(0x30, kZero + tlv(0x04, "vemtal") + hex("a284")), 305},
        {"4-byte length of 4 GiB", hex("3084ffffffff") + kGoodResponse.mid(2), 305},
        {"indefinite form", hex("3080") + kGoodResponse.mid(2) + hex("0000"), 305},
        {"5-byte length", hex("30850000000029") + kGoodResponse.mid(2), 305},
        {"trailing byte after the message", kGoodResponse + hex("00"), 305},
        {"high tag-number form", message(0xA2, fields, binding(hex("1f0100"))), 305},

        {"negative error status", message(0xA2, kZero + hex("0201ff") + kZero, noc), 305},
        {"error index above 16 bits", message(0xA2, kZero + kZero + hex("0203010000"), noc), 305},
        {"request id of 5 bytes", message(0xA2, hex("02050100000000") + kZero + kZero, noc), 305},
        {"empty INTEGER", message(0xA2, hex("0200") + kZero + kZero, noc), 305},
        {"negative Counter32", message(0xA2, fields, binding(hex("4101ff"))), 305},
        {"Counter32 of 6 bytes", message(0xA2, fields, binding(hex("4106000000000001"))), 305},
        {"Counter64 of 10 bytes", message(0xA2, fields, binding(hex("460a00000000000000000001"))), 305},
        {"IpAddress of 5 bytes", message(0xA2, fields, binding(hex("40057f00000102"))), 305},
        {"NULL with content", message(0xA2, fields, binding(hex("050100"))), 305},
        {"unterminated sub-identifier", message(0xA2, fields, binding(hex("0500"), hex("06022b86"))), 305},
        {"sub-identifier beyond 32 bits", message(0xA2, fields, binding(hex("0500"), hex("06072b908080808000"))), 305},
        {"empty OID", message(0xA2, fields, binding(hex("0500"), hex("0600"))), 305},
        {"binding of three elements", message(0xA2, fields, tlv(0x30, kSysContactOid + hex("0500") + hex("0500"))), 305},
        {"binding that is no SEQUENCE", message(0xA2, fields, tlv(0x31, kSysContactOid + hex("0500"))), 305},
        {"257 bindings", message(0xA2, fields, many), 305},
    };
    return rows;
}
