#!/usr/bin/env python3
"""Writes Japanese mail as Outlook Express and a few other mail programs send
it, one .eml file per mail, for measuring how whole recovered mail comes back.

    generate_mails.py OUT_FOLDER [--count 200] [--seed 1]

The mix: plain-text mails in ISO-2022-JP; HTML mails with a plain-text
alternative in each Japanese charset (HTML quoted-printable as Outlook Express
writes it, the text part 7bit, 8bit, base64 or quoted-printable); mails with
attachments of several sizes (binary and base64 text); and mails from other
senders whose boundaries have other forms and lengths, some with base64 lines
of other lengths. Header lengths vary, so lost bytes fall everywhere. The same
seed writes the same files.
"""

import argparse
import base64
import os
import quopri
import random

SENTENCES = [
    "いつもお世話になっております。",
    "先日の会議の議事録を添付いたします。",
    "ご確認のほど、よろしくお願いいたします。",
    "来週の打ち合わせは、水曜日の午後三時からに変更になりました。",
    "資料の準備が整いましたので、ご連絡差し上げます。",
    "山田さんへ、新年会の出欠確認です。",
    "十二月十九日（金）午後七時から、駅前の「さくら亭」で行います。",
    "参加される方は今週中にお返事ください。",
    "見積書を送付しますので、ご検討ください。",
    "お手数ですが、折り返しお電話をいただけますでしょうか。",
    "本日は寒い中、お越しいただきありがとうございました。",
    "写真を何枚か送ります。旅行の思い出にどうぞ。",
    "東京支社の鈴木です。出張の件でご相談があります。",
    "申し訳ありませんが、納期を一週間ほど延ばしていただけないでしょうか。",
    "新しい住所は、大阪府大阪市北区梅田一丁目です。",
    "弊社の製品カタログ（二〇〇八年版）をお送りいたします。",
    "ご不明な点がございましたら、お気軽にお問い合わせください。",
    "よろしくお願いします。",
    "追伸：次回は忘年会の幹事をお願いできますか？",
    "以上、取り急ぎご報告まで。",
    "ファイルが開けない場合はお知らせください。",
    "プロジェクトの進捗について、簡単にまとめました。",
    "第一四半期の売上は前年比で百二十パーセントでした。",
    "会場の地図を同封しましたので、ご覧ください。",
    "担当：営業部　佐藤花子（内線２３４５）",
    "ＰＤＦ形式で保存してあります。",
    "価格は税込みで￥１２，８００です。",
    "ご注文ありがとうございます。発送は明日の予定です。",
    "わたしの電話番号は〇九〇‐一二三四‐五六七八です。",
    "明日は雨の予報ですので、傘をお忘れなく。",
]
NAMES = ["山田太郎", "鈴木花子", "佐藤一郎", "田中美咲", "高橋健二", "伊藤直子"]
SUBJECTS = ["会議の議事録", "新年会のお知らせ", "見積書の送付", "出張の件", "写真を送ります",
            "納期のご相談", "カタログ送付", "住所変更のお知らせ", "進捗報告", "ご注文の確認"]
FILE_STEMS = ["議事録", "見積書", "写真", "資料", "地図", "報告書"]

# Python's codec names for the three charsets, and the names mail writes.
CODECS = {"iso-2022-jp": "iso2022_jp", "shift_jis": "shift_jis", "euc-jp": "euc_jp"}


def crlf(text_bytes):
    return text_bytes.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def encoded_word(text, charset="iso-2022-jp"):
    raw = text.encode(CODECS[charset])
    return "=?%s?B?%s?=" % (charset, base64.b64encode(raw).decode("ascii"))


def b64_lines(data, width):
    text = base64.b64encode(data).decode("ascii")
    return "".join(text[i:i + width] + "\r\n" for i in range(0, len(text), width)).encode("ascii")


def body_text(rng, lines):
    out = []
    out.append(rng.choice(NAMES)[:2] + "様")
    out.append("")
    for _ in range(lines):
        out.append(rng.choice(SENTENCES))
        if rng.random() < 0.2:
            out.append("")
    out.append("")
    out.append(rng.choice(NAMES))
    return out


def encode_text(lines, charset):
    """The text of a plain-text part, in the charset, CR LF lines."""
    return b"".join(line.encode(CODECS[charset]) + b"\r\n" for line in lines)


def html_text(lines, charset):
    """An HTML body as Outlook Express writes it, before transfer encoding."""
    head = ('<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0 Transitional//EN">\n'
            '<HTML><HEAD>\n'
            '<META http-equiv=Content-Type content="text/html; charset=%s">\n'
            '<META content="MSHTML 6.00.2900.3429" name=GENERATOR>\n'
            '<STYLE></STYLE>\n'
            '</HEAD>\n'
            '<BODY bgColor=#ffffff>\n' % charset).encode("ascii")
    body = b""
    for line in lines:
        if line:
            body += b"<DIV><FONT size=2>" + line.encode(CODECS[charset]) + b"</FONT></DIV>\n"
        else:
            body += b"<DIV><FONT size=2>&nbsp;</FONT></DIV>\n"
    return head + body + b"</BODY></HTML>\n"


def quoted_printable(data):
    """Quoted-printable with soft breaks at 76 characters and CR LF lines."""
    return crlf(quopri.encodestring(data.replace(b"\r\n", b"\n")))


class Headers:
    def __init__(self, rng):
        self.rng = rng

    def main(self, subject_text, content_type_lines, mailer="oe"):
        rng = self.rng
        sender = rng.choice(NAMES)
        lines = []
        if rng.random() < 0.7:
            lines.append("Return-Path: <user%d@example.co.jp>" % rng.randrange(100))
        for _ in range(rng.randrange(0, 4)):
            host = "mx%d.%s.example.ne.jp" % (rng.randrange(100), "x" * rng.randrange(1, 30))
            lines.append("Received: from %s ([192.0.2.%d])" % (host, rng.randrange(255)))
            lines.append("\tby mail.example.ne.jp (Postfix) with ESMTP id %X" %
                         rng.randrange(1 << 32))
            lines.append("\tfor <hanako@example.ne.jp>; Wed, 03 Dec 2008 11:45:09 +0900")
        lines.append("Message-ID: <%012x$%08x$0a00a8c0@PC%02d>" %
                     (rng.randrange(1 << 48), rng.randrange(1 << 32), rng.randrange(100)))
        lines.append('From: "%s" <user%d@example.co.jp>' %
                     (encoded_word(sender), rng.randrange(100)))
        lines.append("To: <hanako@example.ne.jp>")
        lines.append("Subject: " + encoded_word(subject_text))
        lines.append("Date: Wed, %02d Dec 2008 %02d:%02d:%02d +0900" %
                     (rng.randrange(1, 29), rng.randrange(24), rng.randrange(60), rng.randrange(60)))
        lines.append("MIME-Version: 1.0")
        lines.extend(content_type_lines)
        if mailer == "oe":
            lines.append("X-Priority: 3")
            lines.append("X-MSMail-Priority: Normal")
            lines.append("X-Mailer: Microsoft Outlook Express 6.00.2900.%d" % rng.randrange(2000, 6000))
            lines.append("X-MimeOLE: Produced By Microsoft MimeOLE V6.00.2900.%d" %
                         rng.randrange(2000, 6000))
        else:
            lines.append("X-Mailer: " + mailer)
        return ("\r\n".join(lines) + "\r\n\r\n").encode("ascii")


def oe_boundary(rng, level):
    return "----=_NextPart_%03d_%04X_%08X.%08X" % (level, rng.randrange(1 << 16),
                                                   rng.randrange(1 << 32), rng.randrange(1 << 32))


class Form:
    """How one sender writes the structure lines."""

    def __init__(self, name, boundary, content_type, b64_width=76, preamble=True):
        self.name = name
        self.boundary = boundary         # rng, level -> boundary value
        self.content_type = content_type  # (subtype, boundary) -> header lines
        self.b64_width = b64_width
        self.preamble = preamble


def oe_type(subtype, boundary):
    return ["Content-Type: multipart/%s;" % subtype, '\tboundary="%s"' % boundary]


OE = Form("oe", oe_boundary, oe_type)


def rand_hex(rng, n):
    return "".join(rng.choice("0123456789abcdef") for _ in range(n))


OTHER_FORMS = [
    Form("Ruby mail", lambda rng, level: "mimepart_%s_%d%s" % (rand_hex(rng, 13), level,
                                                                rand_hex(rng, 6)),
         lambda sub, b: ["Content-Type: multipart/%s;" % sub, " boundary=%s" % b,
                         " charset=UTF-8"], 60, False),
    Form("Apple Mail", lambda rng, level: "Apple-Mail=_%s-%s-%s" % (rand_hex(rng, 8).upper(),
                                                                     rand_hex(rng, 4).upper(),
                                                                     rand_hex(rng, 12).upper()),
         lambda sub, b: ["Content-Type: multipart/%s;" % sub, '\tboundary="%s"' % b], 76, False),
    Form("Thunderbird", lambda rng, level: "------------%024d" % rng.randrange(10 ** 24),
         lambda sub, b: ['Content-Type: multipart/%s; boundary="%s"' % (sub, b)], 72, True),
    Form("Python", lambda rng, level: "===============%019d==" % rng.randrange(10 ** 19),
         lambda sub, b: ['Content-Type: multipart/%s; boundary="%s"' % (sub, b)], 76, False),
    Form("short", lambda rng, level: "b%d%s" % (level, rand_hex(rng, 2)),
         lambda sub, b: ["Content-Type: multipart/%s; Boundary=%s" % (sub, b)], 76, False),
    Form("Becky", lambda rng, level: "------[%s-MULTIPART-%d]" % (rand_hex(rng, 8).upper(), level),
         lambda sub, b: ["Content-Type: Multipart/%s;" % sub.capitalize(),
                         ' BOUNDARY="%s"' % b], 76, True),
    Form("Gmail", lambda rng, level: "0000000000%s" % rand_hex(rng, 18),
         lambda sub, b: ['Content-Type: multipart/%s; boundary="%s"' % (sub, b)], 76, False),
]


def part_header(content_type, charset=None, encoding=None, name=None, attachment=False,
                folded=True):
    lines = []
    if charset and folded:
        lines += ["Content-Type: %s;" % content_type, '\tcharset="%s"' % charset]
    elif charset:
        lines += ['Content-Type: %s; charset=%s' % (content_type, charset)]
    elif name:
        lines += ["Content-Type: %s;" % content_type, '\tname="%s"' % name]
    else:
        lines += ["Content-Type: %s" % content_type]
    if encoding:
        lines.append("Content-Transfer-Encoding: %s" % encoding)
    if attachment:
        lines += ["Content-Disposition: attachment;", '\tfilename="%s"' % name]
    return ("\r\n".join(lines) + "\r\n\r\n").encode("ascii")


def text_part(lines, charset, encoding, form):
    raw = encode_text(lines, charset)
    if encoding == "base64":
        body = b64_lines(raw, form.b64_width)
    elif encoding == "quoted-printable":
        body = quoted_printable(raw)
    else:
        body = raw
    return part_header("text/plain", charset, encoding, folded=form is OE) + body


def html_part(lines, charset, form):
    return (part_header("text/html", charset, "quoted-printable", folded=form is OE) +
            quoted_printable(html_text(lines, charset)))


def multipart(form, boundary, parts, closing_blank=True):
    out = b""
    if form.preamble:
        out += b"This is a multi-part message in MIME format.\r\n\r\n"
    for p in parts:
        out += b"--" + boundary.encode("ascii") + b"\r\n" + p
        if not p.endswith(b"\r\n\r\n"):
            out += b"\r\n"
    out += b"--" + boundary.encode("ascii") + b"--\r\n"
    if closing_blank:
        out += b"\r\n"
    return out


ATTACHMENT_SIZES = [300, 1500, 4000, 9000, 20000, 45000, 90000]


def attachment(rng, form, size):
    kind = rng.random()
    stem = rng.choice(FILE_STEMS)
    if kind < 0.35:
        ctype, ext = "image/jpeg", "jpg"
        data = b"\xff\xd8\xff\xe0\x00\x10JFIF" + bytes(rng.randrange(256) for _ in range(size))
    elif kind < 0.6:
        ctype, ext = "application/pdf", "pdf"
        data = b"%PDF-1.4\n" + bytes(rng.randrange(256) for _ in range(size))
    elif kind < 0.8:
        ctype, ext = "application/octet-stream", "bin"
        data = bytes(rng.randrange(256) for _ in range(size))
    else:
        # A Shift_JIS text file, as Windows writes it.
        ctype, ext = "text/plain", "txt"
        text = ""
        while len(text.encode("cp932")) < size:
            text += rng.choice(SENTENCES) + "\r\n"
        data = text.encode("cp932")
    if form is OE:
        name = encoded_word(stem + "." + ext)
    else:
        name = "file%d.%s" % (rng.randrange(100), ext)
    header = part_header(ctype, name=name, encoding="base64", attachment=True)
    return header + b64_lines(data, form.b64_width) + b"\r\n"


def make_mail(rng, index, form):
    headers = Headers(rng)
    subject = rng.choice(SUBJECTS) + "（%d）" % index
    mailer = "oe" if form is OE else form.name
    kind = rng.random()
    charset = rng.choice(list(CODECS))
    text = body_text(rng, rng.randrange(2, 14))
    if form is OE and charset == "iso-2022-jp":
        text_encoding = rng.choice(["7bit", "7bit", "base64", "quoted-printable"])
    elif form is OE:
        text_encoding = rng.choice(["8bit", "base64", "quoted-printable"])
    else:
        text_encoding = rng.choice(["7bit" if charset == "iso-2022-jp" else "8bit", "base64"])

    if kind < 0.15 and form is OE:
        # A single plain-text part.
        content = ['Content-Type: text/plain;', '\tcharset="iso-2022-jp"',
                   "Content-Transfer-Encoding: 7bit"]
        return headers.main(subject, content, mailer) + encode_text(text, "iso-2022-jp")

    alt_boundary = form.boundary(rng, 1 if kind >= 0.55 else 0)
    alternative = multipart(form, alt_boundary, [text_part(text, charset, text_encoding, form),
                                                 html_part(text, charset, form)],
                            closing_blank=form is OE)
    if kind < 0.55:
        return headers.main(subject, form.content_type("alternative", alt_boundary),
                            mailer) + alternative

    mixed_boundary = form.boundary(rng, 0)
    inner = b"".join(form.content_type("alternative", alt_boundary)[i].encode("ascii") + b"\r\n"
                     for i in range(len(form.content_type("alternative", alt_boundary))))
    inner += b"\r\n" + (alternative if not form.preamble else
                        alternative[len(b"This is a multi-part message in MIME format.\r\n\r\n"):])
    parts = [inner]
    for _ in range(1 if rng.random() < 0.7 else 2):
        parts.append(attachment(rng, form, rng.choice(ATTACHMENT_SIZES) + rng.randrange(100)))
    return headers.main(subject, form.content_type("mixed", mixed_boundary),
                        mailer) + multipart(form, mixed_boundary, parts)


def write_mails(out, count, maker):
    """Writes OUT/001.eml and on: mail n is what maker(n)() returns. Recovery
    cannot tell a last piece of four bytes or fewer from a record's padding;
    such a mail is made again by the same maker(n)."""
    os.makedirs(out, exist_ok=True)
    for index in range(1, count + 1):
        make = maker(index)
        mail = make()
        while len(mail) % 512 <= 4:
            mail = make()
        with open(os.path.join(out, "%03d.eml" % index), "wb") as f:
            f.write(mail)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    def maker(index):
        # About one mail in four comes from another mail program.
        form = OE if rng.random() < 0.75 else rng.choice(OTHER_FORMS)
        return lambda: make_mail(rng, index, form)
    write_mails(args.out, args.count, maker)


if __name__ == "__main__":
    main()
