#!/usr/bin/env python3
"""Writes the mails of the generated comparison mailboxes: one .eml file per
mail in OUT_FOLDER/deleted and OUT_FOLDER/live, to be laid into one mailbox by
make_sample_mailbox (the first folder as its deleted mail, the second as its
live messages).

    generate_compare_mails.py OUT_FOLDER [--count 2400] [--seed 1]
    make_sample_mailbox OUT_FOLDER/deleted generated.dbx OUT_FOLDER/live

COUNT mails go into each folder. The mix is what naming and dating have to
get right: subjects in every Japanese charset and encoding, raw 8-bit ones,
folded, empty, missing, very long, with characters and names a file system
refuses, and many repeated (also differing only in letter case); dates over
many years and zones, on and around the daylight-saving changes of New York
(every rule since 1967) and Tokyo (1948-1951), before 1970 and after 2038,
in odd formats, impossible or missing. Bodies are mostly a few KB, some tens
or hundreds of KB, a few over 1 MiB; a few mails have bare LF line ends, no
final line end, NUL bytes, no body or no bytes at all. The same seed writes
the same files.
"""

import argparse
import base64
import calendar
import datetime
import os
import quopri
import random

JAPANESE = [
    "会議の議事録", "新年会のお知らせ", "見積書の送付", "出張の件", "写真を送ります",
    "納期のご相談", "カタログ送付", "住所変更のお知らせ", "進捗報告", "ご注文の確認",
    "【重要】システムメンテナンスのお知らせ（十一月一日実施）", "Re: 資料の確認",
    "ﾃｽﾄ半角ｶﾀｶﾅ", "①②③ 丸数字とⅠⅡⅢ", "髙橋さんへ（﨑・德）", "～波ダッシュ―全角ダッシュ－",
    "価格は￥１２，８００です", "第一四半期の売上について", "ご不明な点がございましたら",
]
ASCII = [
    "Meeting notes", "Re: Meeting notes", "Fw: Invoice 2008-12", "Your order has shipped",
    "REPORT", "Report", "report", "hello", "Hello", "Re: Re: Re: hello",
]
HOSTILE = [
    'a/b\\c:d*e?f"g<h>i|j', "trailing dot.", "trailing space ", "...", " . ", "CON", "nul",
    "COM1.txt", "LPT9", "aux.eml", "tab\there", "semi;colon,comma", "%20percent%",
    "x" * 300, "長い件名" * 60, "Re:", "#hash & ampersand", "-dash-first",
]
UNICODE_ONLY = ["絵文字 😀 と 𠮷野家", "Ελληνικά και Русский", "한국어 제목"]

ZONES = ["+0900", "+0900", "+0900", "-0500", "-0400", "+0000", "-0800", "+0530", "+1400",
         "-1200", "GMT", "UT", "EST", "EDT", "PST", "JST", "-0000", "Z", ""]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
ODD_DATES = [
    "", "yesterday", "Thu, 30 Feb 2008 10:00:00 +0900", "Thu, 23 Oct 2008 24:00:00 +0900",
    "Wed, 31 Dec 2008 23:59:60 +0900", "23 Oct 2008 15:30 +0900", "thu, 23 oct 2008 15:30:45 +0900",
    "Thu, 23 Oct 08 15:30:45 +0900", "Sun, 1 Jan 70 00:00:00 +0000", "Wed, 31 Dec 69 23:59:59 -0000",
    "Fri, 1 Jan 00 09:00:00 +0900", "Sat, 1 Jan 49 00:00:00 +0900", "Sun, 1 Jan 50 00:00:00 +0900",
    "2008/10/23 15:30:45", "2008-10-23T15:30:45+09:00", "Thu, 23 Oct 2008 15:30:45 +0900 (JST)",
    "Thu,23 Oct 2008 15:30:45 +0900", "  Thu, 23   Oct 2008  15:30:45   +0900  ",
    "Mon, 1 Jan 1900 00:00:00 +0000", "Mon, 1 Jan 1601 00:00:00 +0000",
    "Tue, 19 Jan 2038 03:14:07 +0000", "Tue, 19 Jan 2038 03:14:08 +0000",
    "Tue, 19 Jan 2038 12:14:08 +0900", "Fri, 31 Dec 2100 23:59:59 +0900",
    "Fri, 31 Dec 9999 23:59:59 +0000", "Thu, 29 Feb 2024 12:00:00 +0900",
    "Mon, 29 Feb 2100 12:00:00 +0900", "Thu, 23 Oct 2008 15:30:45 +2500",
    "Thu, 23 Oct 2008 15:30:45 +09", "Thu, 23 Oct 2008 15:30:45 XYZ", "2008年10月23日 15時30分",
    "Thu, 23 Oct 2008", "15:30:45 +0900", "Thu, 23 Oct 2008 25:61:61 +0900",
]


def nth_sunday(year, month, n):
    """The n-th Sunday of the month (n = -1: the last)."""
    days = [d for d in range(1, calendar.monthrange(year, month)[1] + 1)
            if datetime.date(year, month, d).weekday() == 6]
    return days[n] if n < 0 else days[n - 1]


def new_york_changes(year):
    """The UTC instants New York's clocks changed in `year` (Energy Policy
    Act 2005 rules from 2007, the 1987 and 1967 rules before), with the
    local offsets before and after."""
    if year >= 2007:
        spring = (3, nth_sunday(year, 3, 2))
        autumn = (11, nth_sunday(year, 11, 1))
    elif year >= 1987:
        spring = (4, nth_sunday(year, 4, 1))
        autumn = (10, nth_sunday(year, 10, -1))
    else:
        spring = (4, nth_sunday(year, 4, -1))
        autumn = (10, nth_sunday(year, 10, -1))
    utc = datetime.timezone.utc
    return [
        (datetime.datetime(year, spring[0], spring[1], 7, 0, 0, tzinfo=utc), -5, -4),
        (datetime.datetime(year, autumn[0], autumn[1], 6, 0, 0, tzinfo=utc), -4, -5),
    ]


def format_date(moment, offset_hours=None, zone=None, rng=None):
    """RFC 5322 text of a UTC `moment` shown at `offset_hours`, or with the
    zone name `zone` written after the local time as given."""
    if offset_hours is not None:
        local = moment + datetime.timedelta(hours=offset_hours)
        sign = "-" if offset_hours < 0 else "+"
        zone = "%s%02d%02d" % (sign, abs(int(offset_hours)), int(abs(offset_hours) * 60) % 60)
    else:
        local = moment
    weekday = "" if rng and rng.random() < 0.1 else DAYS[local.weekday()] + ", "
    text = "%s%d %s %04d %02d:%02d:%02d" % (weekday, local.day, MONTHS[local.month - 1],
                                           local.year, local.hour, local.minute, local.second)
    return (text + " " + zone).rstrip()


def edge_date(rng):
    kind = rng.random()
    if kind < 0.6:
        year = rng.randint(1967, 2037)
        moment, before, after = rng.choice(new_york_changes(year))
        step = rng.choice([0, 1, -1, 1799, -1799, 1800, 3599, -3599, 3600, -3600, 3601, 5400])
        moment = moment + datetime.timedelta(seconds=step)
        offset = rng.choice([before, after, 9, 0])
        return format_date(moment, offset, rng=rng)
    if kind < 0.8:
        # A local time in New York's gap or repeated hour, written without
        # the zone that would settle it, or with each of the two.
        year = rng.randint(1970, 2037)
        moment, before, after = rng.choice(new_york_changes(year))
        local = moment + datetime.timedelta(hours=before) + datetime.timedelta(
            minutes=rng.choice([0, 1, 30, 59]))
        return format_date(local, zone=rng.choice(["", "-0500", "-0400", "EST", "EDT"]), rng=rng)
    # Tokyo kept summer time from 1948 to 1951.
    year = rng.randint(1948, 1951)
    local = datetime.datetime(year, rng.choice([4, 5, 9]), rng.randint(1, 28),
                              rng.choice([0, 1, 23, 12]), rng.randint(0, 59), rng.randint(0, 59))
    return format_date(local, zone=rng.choice(["+0900", "", "JST", "+1000"]), rng=rng)


def random_date(rng):
    kind = rng.random()
    if kind < 0.06:
        return rng.choice(ODD_DATES)
    if kind < 0.25:
        return edge_date(rng)
    start = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)
    moment = start + datetime.timedelta(seconds=rng.randrange(0, 68 * 365 * 86400))
    zone = rng.choice(ZONES)
    try:
        offset = None if zone and not zone[0] in "+-" else int(zone[:3]) + int(zone[0] + zone[3:]) / 60
    except ValueError:
        offset = None
    if offset is not None:
        return format_date(moment, offset, rng=rng)
    return format_date(moment, zone=zone, rng=rng)


def encoded_word(text, charset, encoding):
    codec = {"iso-2022-jp": "iso2022_jp_ext", "shift_jis": "cp932", "euc-jp": "euc_jis_2004",
             "utf-8": "utf-8"}[charset]
    try:
        raw = text.encode(codec)
    except UnicodeEncodeError:
        raw = text.encode("utf-8")
        charset = "utf-8"
    if encoding == "B":
        data = base64.b64encode(raw).decode("ascii")
    else:
        data = quopri.encodestring(raw, header=True).decode("ascii").replace("=\n", "")
    return "=?%s?%s?%s?=" % (charset, encoding, data)


def subject_line(rng):
    """The Subject header with its line end, or None for none at all."""
    kind = rng.random()
    if kind < 0.03:
        return None
    if kind < 0.05:
        return b"Subject: \r\n"
    if kind < 0.35:
        # Few subjects, many repeats.
        text = rng.choice(JAPANESE[:5] + ASCII[:3])
    elif kind < 0.55:
        text = rng.choice(JAPANESE)
    elif kind < 0.7:
        text = rng.choice(ASCII)
    elif kind < 0.8:
        text = rng.choice(HOSTILE)
    elif kind < 0.83:
        text = rng.choice(UNICODE_ONLY)
    else:
        text = "%s %d" % (rng.choice(JAPANESE + ASCII), rng.randint(1, 99999))
    if all(ord(c) < 128 for c in text) and rng.random() < 0.7:
        value = text.encode("ascii")
    else:
        form = rng.random()
        if form < 0.1:
            try:
                value = text.encode("cp932")  # raw 8-bit, as some senders do
            except UnicodeEncodeError:
                value = text.encode("utf-8")
        elif form < 0.15:
            try:
                value = text.encode("iso2022_jp_ext")  # raw escapes, unencoded
            except UnicodeEncodeError:
                value = text.encode("utf-8")
        else:
            charset = rng.choice(["iso-2022-jp", "iso-2022-jp", "shift_jis", "euc-jp", "utf-8"])
            encoding = "B" if rng.random() < 0.8 else "Q"
            # Long subjects go as several words on folded lines.
            words = []
            for at in range(0, len(text), 12):
                words.append(encoded_word(text[at:at + 12], charset, encoding))
            value = "\r\n ".join(words).encode("ascii")
    if rng.random() < 0.05 and b"\r\n" not in value and len(value) > 10:
        value = value[:len(value) // 2] + b"\r\n\t" + value[len(value) // 2:]
    return b"Subject: " + value + b"\r\n"


SENTENCE = "いつもお世話になっております。資料の準備が整いましたので、ご連絡差し上げます。"


def body(rng, size):
    kind = rng.random()
    if kind < 0.5:
        line = (SENTENCE + "\n").encode("iso2022_jp")
        charset = "ISO-2022-JP"
    elif kind < 0.7:
        line = (SENTENCE + "\n").encode("cp932")
        charset = "Shift_JIS"
    elif kind < 0.8:
        line = (SENTENCE + "\n").encode("euc_jp")
        charset = "EUC-JP"
    else:
        line = b"The quick brown fox jumps over the lazy dog, again and again.\n"
        charset = "US-ASCII"
    line = line.replace(b"\n", b"\r\n")
    text = line * max(1, size // len(line))
    head = b"Content-Type: text/plain; charset=\"" + charset.encode() + b"\"\r\n"
    return head, text


def big_body(rng, size):
    boundary = b"----=_NextPart_%06d" % rng.randint(0, 999999)
    data = rng.randbytes(size * 3 // 4)
    encoded = base64.encodebytes(data).replace(b"\n", b"\r\n")
    head = (b"MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"" +
            boundary + b"\"\r\n")
    text = (b"This is a multi-part message in MIME format.\r\n\r\n--" + boundary +
            b"\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n\r\n" +
            (SENTENCE + "\r\n").encode("iso2022_jp") + b"\r\n--" + boundary +
            b"\r\nContent-Type: application/octet-stream;\r\n\tname=\"data.bin\"\r\n" +
            b"Content-Transfer-Encoding: base64\r\n\r\n" + encoded + b"\r\n--" + boundary +
            b"--\r\n")
    return head, text


def mail(rng, number):
    roll = rng.random()
    if roll < 0.002:
        return b""
    headers = [b"From: \"sender %d\" <sender%d@example.jp>\r\n" % (number % 37, number % 37),
               b"To: someone@example.com\r\n"]
    subject = subject_line(rng)
    date = random_date(rng) if rng.random() > 0.03 else None
    order = [subject, None if date is None else b"Date: " + date.encode("utf-8") + b"\r\n"]
    if rng.random() < 0.3:
        order.reverse()
    if date is not None and rng.random() < 0.01:
        order.append(b"Date: " + random_date(rng).encode("utf-8") + b"\r\n")
    headers += [h for h in order if h is not None]
    headers.append(b"Message-ID: <%d.%d@example.jp>\r\n" % (number, rng.randint(0, 10 ** 9)))
    if roll < 0.005:
        return b"".join(headers)  # headers only, no blank line
    size_roll = rng.random()
    if number % 600 == 17:
        head, text = big_body(rng, rng.randint(1_100_000, 2_600_000))
    elif size_roll < 0.05:
        head, text = big_body(rng, rng.randint(20_000, 300_000))
    else:
        head, text = body(rng, int(rng.expovariate(1 / 2500)) + 40)
    message = b"".join(headers) + head + b"\r\n" + text
    if rng.random() < 0.03:
        message = message.replace(b"\r\n", b"\n")
    if rng.random() < 0.03:
        message = message.rstrip(b"\r\n")
    if rng.random() < 0.005:
        message += b"\x00" * rng.randint(1, 600) + b"tail\r\n"
    return message


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    parser.add_argument("--count", type=int, default=2400)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    for kind in ("deleted", "live"):
        folder = os.path.join(args.out, kind)
        os.makedirs(folder, exist_ok=True)
        for number in range(1, args.count + 1):
            with open(os.path.join(folder, "%05d.eml" % number), "wb") as out:
                out.write(mail(rng, number))


if __name__ == "__main__":
    main()
