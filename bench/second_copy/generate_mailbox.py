#!/usr/bin/env python3
"""Writes the mail of one Outlook Express mailbox, one .eml file per mail in
the order they are laid in, for measuring how much of a mail's lost text its
own second copy brings back.

    generate_mailbox.py OUT_FOLDER [--count 300] [--seed 1]

The mix: plain-text mail; multipart/alternative as Outlook Express 6 writes
it (Japanese: the text part ISO-2022-JP 7bit, the HTML part quoted-printable
in iso-2022-jp or shift_jis, some Shift_JIS parts in base64; English: both
parts quoted-printable in us-ascii or iso-8859-1); multipart/mixed with
attachments, most holding an alternative. A handful of senders write most of
the mail, each always with the same From:, Reply-To:, Organization:,
Return-Path:, X-Mailer:, X-MimeOLE: and Received: hosts; the rest come from
senders seen once. Header lengths vary from mail to mail (subjects, queue
ids, optional fields), so lost bytes fall everywhere. The same seed writes
the same files.
"""

import argparse
import html
import os
import random
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "whole_mail"))
import generate_mails as gm  # noqa: E402

JA_EXTRA = [
    "件名に「見積」と書いて<info@example.co.jp>へお送りください。",
    "A&B商事様との打ち合わせは、第二会議室で行います。",
    "添付の表（Sheet1）で、数量が10<20の行をご確認ください。",
    "URLは http://www.example.co.jp/news/?id=123&lang=ja です。",
    "お疲れさまです。経理部の中村です。",
    "「R&D部門」の予算案について、ご意見をお聞かせください。",
]
JA_SENTENCES = gm.SENTENCES + JA_EXTRA

EN_SENTENCES = [
    "Thank you for your message of last week.",
    "Please find the minutes of Tuesday's meeting below.",
    "The Q&A session will start at 3:00 p.m. in room 204.",
    "Prices are quoted in euros & include shipping to Osaka.",
    "Could you confirm that the order (ref. <PO-20081203>) is complete?",
    "We met at the caf\u00e9 near the station; the r\u00e9sum\u00e9 is attached.",
    "Our new address is 1-2-3 Umeda, Kita-ku, Osaka 530-0001, Japan.",
    "If a < b then the second table applies; otherwise use the first one.",
    "Best regards, and have a nice weekend.",
    "I am out of the office until Monday, 15 December.",
    "The report covers sales from April to September 2008.",
    "Let me know if the files do not open on your side.",
    "See you at the na\u00efve art exhibition on Saturday!",
    "The meeting notes are \"draft\" until the board approves them.",
]
EN_NAMES = ["John Smith", "Mary Johnson", "Robert Brown", "Linda Miller", "Peter Wilson",
            "Susan Clark", "David Lee", "Karen Walker"]
EN_SUBJECTS = ["Meeting minutes", "Your order", "Price list 2009", "Visit to Osaka",
               "Project status", "Re: invoice", "Holiday schedule", "Catalogue request"]

OWNER = "hanako@example.ne.jp"
OWNER_MX = "mx%d.mail.example.ne.jp"
MAILERS_OE = ["6.00.2900.5512", "6.00.2900.3138", "6.00.2800.1106", "6.00.2900.2180",
              "6.00.2900.5579"]
OTHER_MAILERS = ["Becky! ver. 2.48.02 [ja]", "Microsoft Office Outlook 12.0",
                 "Sylpheed 2.5.0 (GTK+ 2.10.14; i686-pc-mingw32)", "Datula version 1.51.09"]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]

PREAMBLE = b"This is a multi-part message in MIME format.\r\n\r\n"


def rand_hex(rng, n, upper=False):
    digits = "0123456789ABCDEF" if upper else "0123456789abcdef"
    return "".join(rng.choice(digits) for _ in range(n))


class Sender:
    """Everything a sender writes the same way in every mail."""

    def __init__(self, rng, japanese, recurring):
        self.japanese = japanese
        self.recurring = recurring
        if japanese:
            self.name = rng.choice(gm.NAMES)
            self.display = '"%s"' % gm.encoded_word(self.name)
        else:
            self.name = rng.choice(EN_NAMES)
            self.display = '"%s"' % self.name
        local = "user%03d" % rng.randrange(1000) if japanese else \
            self.name.lower().replace(" ", ".")
        self.domain = rng.choice(["example.co.jp", "example.com", "example.or.jp",
                                  "mail.example.jp", "example-shoji.co.jp"])
        self.address = "%s@%s" % (local, self.domain)
        self.reply_to = rng.random() < 0.4
        self.organization = None
        if rng.random() < 0.5:
            self.organization = (gm.encoded_word(rng.choice(["株式会社サンプル商事", "山田工業株式会社",
                                                             "東京支社　営業部"]))
                                 if japanese else rng.choice(["Example Trading Co., Ltd.",
                                                              "Sample Works Inc."]))
        oe = recurring or rng.random() < 0.8
        self.mailer = "Microsoft Outlook Express " + rng.choice(MAILERS_OE) if oe else \
            rng.choice(OTHER_MAILERS)
        self.mime_ole = "Produced By Microsoft MimeOLE V" + rng.choice(MAILERS_OE) if oe else None
        self.pc = "PC%s" % rand_hex(rng, rng.randrange(2, 7), upper=True)
        self.ip = "192.168.%d.%d" % (rng.randrange(256), rng.randrange(1, 255))
        self.public_ip = "203.0.113.%d" % rng.randrange(1, 255)
        self.isp = "smtp%d.%s.example.ad.jp" % (rng.randrange(1, 30),
                                                rng.choice(["ocn", "plala", "nifty", "biglobe",
                                                            "so-net", "asahi-net"]))
        self.relay = rng.random() < 0.5
        self.id_tail = "%02x%02x%04x" % (rng.randrange(256), rng.randrange(256),
                                         rng.randrange(1 << 16))
        self.html_share = rng.choice([0.3, 0.6, 0.9])
        self.jis_html = rng.random() < 0.7
        self.latin1 = rng.random() < 0.6

    def header(self, rng, subject, content_type_lines, when):
        day, date, clock = when
        lines = ["Return-Path: <%s>" % self.address]
        if rng.random() < 0.3:
            lines.append("X-Original-To: %s" % OWNER)
            lines.append("Delivered-To: %s" % OWNER)
        mx = OWNER_MX % rng.randrange(1, 5)
        # What the recipient's own servers add on top, more or less of it.
        for _ in range(rng.randrange(0, 3)):
            lines += ["Received: from localhost (localhost [127.0.0.1])",
                      "\tby %s (amavisd-new, port 10024) with ESMTP id %s%s" %
                      (mx, rand_hex(rng, 5, upper=True), "x" * rng.randrange(1, 8)),
                      "\tfor <%s>; %s, %s %s +0900 (JST)" % (OWNER, day, date, clock)]
        if rng.random() < 0.5:
            lines.append("X-Virus-Scanned: amavisd-new at example.ne.jp")
            lines.append("X-Spam-Status: No, score=%.1f required=5.0 tests=%s" %
                         (rng.uniform(-2, 4), ",".join(rng.sample(
                             ["BAYES_00", "HTML_MESSAGE", "MIME_HTML_MOSTLY", "RDNS_NONE",
                              "AWL", "DNS_FROM_RFC_POST", "NO_RELAYS", "SPF_PASS"],
                             rng.randrange(1, 5)))))
        lines += ["Received: from %s (%s [%s])" % (self.isp, self.isp, "198.51.100.%d" %
                                                     (sum(map(ord, self.isp)) % 250)),
                  "\tby %s (Postfix) with ESMTP id %s" % (mx, rand_hex(rng, rng.randrange(9, 12),
                                                                        upper=True)),
                  "\tfor <%s>; %s, %s %s +0900 (JST)" % (OWNER, day, date, clock)]
        if self.relay:
            lines += ["Received: from %s ([%s]) by %s" % (self.pc, self.public_ip, self.isp),
                      "\t(8.13.8/8.13.8) with SMTP id m%s%06d;" % (rand_hex(rng, 5, upper=True),
                                                                   rng.randrange(10 ** 6)),
                      "\t%s, %s %s +0900" % (day, date, clock)]
        if rng.random() < 0.25:
            lines.append("X-Spam-Score: %.1f" % rng.uniform(-2, 4))
            lines.append("X-Spam-Level: " + "*" * rng.randrange(0, 4))
        lines.append("Message-ID: <%012x$%s$%s@%s>" % (rng.randrange(1 << 48), rand_hex(rng, 8),
                                                       self.id_tail, self.pc))
        if self.reply_to:
            lines.append("Reply-To: %s <%s>" % (self.display, self.address))
        lines.append("From: %s <%s>" % (self.display, self.address))
        lines.append("To: <%s>" % OWNER)
        if rng.random() < 0.2:
            lines.append("Cc: <info@%s>" % self.domain)
        if subject.startswith("Re:"):
            lines.append("References: <%012x$%s$0a01a8c0@PC%02d>" %
                         (rng.randrange(1 << 48), rand_hex(rng, 8), rng.randrange(100)))
        lines.append("Subject: " + (gm.encoded_word(subject) if self.japanese else subject))
        lines.append("Date: %s, %s %s +0900" % (day, date, clock))
        if self.organization:
            lines.append("Organization: " + self.organization)
        lines.append("MIME-Version: 1.0")
        lines.extend(content_type_lines)
        if self.mime_ole:
            lines.append("X-Priority: %d" % (3 if rng.random() < 0.9 else 1))
            lines.append("X-MSMail-Priority: %s" % ("Normal" if lines[-1].endswith("3")
                                                   else "High"))
            lines.append("X-Mailer: " + self.mailer)
            lines.append("X-MimeOLE: " + self.mime_ole)
        else:
            lines.append("X-Mailer: " + self.mailer)
        return ("\r\n".join(lines) + "\r\n\r\n").encode("ascii")


def when(rng):
    d = rng.randrange(1, 29)
    return (DAYS[(d + 1) % 7], "%d Dec 2008" % d,
            "%02d:%02d:%02d" % (rng.randrange(24), rng.randrange(60), rng.randrange(60)))


def paragraphs(rng, japanese):
    """Paragraphs of the message text: empty strings are blank lines."""
    sentences = JA_SENTENCES if japanese else EN_SENTENCES
    names = gm.NAMES if japanese else EN_NAMES
    out = [rng.choice(names)[:2] + "様" if japanese else "Dear %s," % rng.choice(names)
           .split()[0], ""]
    for _ in range(rng.randrange(1, 9)):
        out.append("".join(rng.choice(sentences) if japanese else rng.choice(sentences) + " "
                           for _ in range(rng.randrange(1, 4))).rstrip())
        if rng.random() < 0.35:
            out.append("")
    if rng.random() < 0.2:
        # A quoted reply.
        out += ["", "----- Original Message -----" if not japanese else
                "----- Original Message -----", "From: <%s>" % OWNER]
        out += ["> " + rng.choice(sentences) for _ in range(rng.randrange(1, 4))]
    out += ["", rng.choice(names)]
    return out


def wrapped(paras, japanese):
    """The plain-text lines: Outlook Express wraps them at 76 columns."""
    lines = []
    for p in paras:
        if japanese:
            width = 37
            while len(p) > width:
                lines.append(p[:width])
                p = p[width:]
            lines.append(p)
            continue
        line = ""
        for word in p.split(" "):
            if line and len(line) + 1 + len(word) > 74:
                lines.append(line)
                line = word
            else:
                line = line + " " + word if line else word
        lines.append(line)
    return lines


def html_body(paras, charset, japanese):
    """An HTML body as Outlook Express 6 writes it, before transfer encoding."""
    codec = gm.CODECS.get(charset, "latin-1")
    out = ('<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0 Transitional//EN">\n'
           '<HTML><HEAD>\n'
           '<META http-equiv=Content-Type content="text/html; charset=%s">\n'
           '<META content="MSHTML 6.00.2900.5512" name=GENERATOR>\n'
           '<STYLE></STYLE>\n'
           '</HEAD>\n'
           '<BODY bgColor=#ffffff>\n' % charset).encode("ascii")
    font = '<FONT face="ＭＳ Ｐゴシック" size=2>' if japanese else "<FONT face=Arial size=2>"
    for p in paras:
        if p:
            text = html.escape(p, quote=False)
            out += ("<DIV>%s%s</FONT></DIV>\n" % (font, text)).encode(codec)
        else:
            out += b"<DIV>&nbsp;</DIV>\n"
    return out + b"</BODY></HTML>\n"


def text_bytes(lines, charset):
    codec = gm.CODECS.get(charset, "latin-1")
    return b"".join(line.encode(codec) + b"\r\n" for line in lines)


def encoded(data, encoding):
    if encoding == "base64":
        return gm.b64_lines(data, 76)
    if encoding == "quoted-printable":
        return gm.quoted_printable(data)
    return data


def text_part(lines, charset, encoding):
    return gm.part_header("text/plain", charset, encoding) + encoded(text_bytes(lines, charset),
                                                                     encoding)


def html_part(paras, charset, encoding, japanese):
    return gm.part_header("text/html", charset, encoding) + \
        encoded(gm.crlf(html_body(paras, charset, japanese)), encoding)


def charsets(rng, sender):
    """(text charset, text encoding, HTML charset, HTML encoding)."""
    if not sender.japanese:
        charset = "iso-8859-1" if sender.latin1 else "us-ascii"
        return charset, "quoted-printable", charset, "quoted-printable"
    roll = rng.random()
    if roll < 0.1:
        return "shift_jis", "base64", "shift_jis", "base64"
    if roll < 0.2:
        return "shift_jis", "base64", "shift_jis", "quoted-printable"
    if sender.jis_html:
        return "iso-2022-jp", "7bit", "iso-2022-jp", "quoted-printable"
    return "iso-2022-jp", "7bit", "shift_jis", "quoted-printable"


def alternative(rng, sender, paras, boundary):
    text_cs, text_cte, html_cs, html_cte = charsets(rng, sender)
    parts = [text_part(wrapped(paras, sender.japanese), text_cs, text_cte),
             html_part(paras, html_cs, html_cte, sender.japanese)]
    return gm.multipart(gm.OE, boundary, parts)


def plain_text(sender, paras):
    if sender.japanese:
        return "iso-2022-jp", "7bit", text_bytes(wrapped(paras, True), "iso-2022-jp")
    charset = "iso-8859-1" if sender.latin1 else "us-ascii"
    lines = wrapped(paras, False)
    if charset == "us-ascii":
        lines = [line.encode("ascii", "replace").decode("ascii") for line in lines]
        return charset, "7bit", text_bytes(lines, charset)
    return charset, "quoted-printable", encoded(text_bytes(lines, charset), "quoted-printable")


def make_mail(rng, index, sender):
    paras = paragraphs(rng, sender.japanese)
    if not sender.japanese and not sender.latin1:
        paras = [unicodedata.normalize("NFKD", p).encode("ascii", "ignore").decode("ascii")
                 for p in paras]
    if sender.japanese:
        subject = rng.choice(gm.SUBJECTS) + "（%d）" % index
        if rng.random() < 0.2:
            subject = "Re: " + subject
    else:
        subject = "%s (%d)" % (rng.choice(EN_SUBJECTS), index)
    html_mail = rng.random() < sender.html_share
    attached = rng.random() < 0.3
    if not attached and not html_mail:
        charset, cte, body = plain_text(sender, paras)
        ctype = ["Content-Type: text/plain;", '\tcharset="%s"' % charset,
                 "Content-Transfer-Encoding: %s" % cte]
        return sender.header(rng, subject, ctype, when(rng)) + body
    if not attached:
        boundary = gm.oe_boundary(rng, 0)
        return sender.header(rng, subject, gm.oe_type("alternative", boundary), when(rng)) + \
            alternative(rng, sender, paras, boundary)
    mixed = gm.oe_boundary(rng, 0)
    if html_mail:
        inner = gm.oe_boundary(rng, 1)
        first = ("\r\n".join(gm.oe_type("alternative", inner)) + "\r\n\r\n\r\n").encode("ascii")
        first += alternative(rng, sender, paras, inner)[len(PREAMBLE):]
    else:
        charset, cte, body = plain_text(sender, paras)
        first = gm.part_header("text/plain", charset, cte) + body
    parts = [first]
    for _ in range(1 if rng.random() < 0.75 else 2):
        size = rng.choice([300, 1500, 4000, 9000, 20000]) + rng.randrange(100)
        parts.append(gm.attachment(rng, gm.OE, size))
    return sender.header(rng, subject, gm.oe_type("mixed", mixed), when(rng)) + \
        gm.multipart(gm.OE, mixed, parts)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--senders", type=int, default=6,
                        help="senders who write most of the mail")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    regulars = [Sender(rng, japanese=k % 3 != 2, recurring=True) for k in range(args.senders)]
    weights = [rng.uniform(1, 4) for _ in regulars]

    def maker(index):
        if rng.random() < 0.75:
            sender = rng.choices(regulars, weights)[0]
        else:
            sender = Sender(rng, japanese=rng.random() < 0.7, recurring=False)
        return lambda: make_mail(rng, index, sender)
    gm.write_mails(args.out, args.count, maker)


if __name__ == "__main__":
    main()
