"""Where the bytes of a mail stand: which of them a deleted record loses,
and which part of the mail (main header, part header, text body, other)
each one belongs to; and how a text part decodes, character by character,
so that the characters a lost byte touches are known.

A mail laid into a mailbox as deleted mail is cut into pieces of 512 bytes;
each piece loses its first four bytes to the record's chain link (see
tests/support/mailbox_writer.cpp), and recovery writes the rest back at the
same offsets. So the lost bytes of a mail of n bytes are exactly the offsets
i < n with i % 512 < 4.
"""

import base64
import email
import email.policy
import re

PIECE = 512
LOST = 4


def lost_positions(size):
    return [i for i in range(size) if i % PIECE < LOST]


class Entity:
    """One entity of the MIME tree, with byte ranges into the mail."""

    def __init__(self, walk_index, start, header_end, body_start, end, message):
        self.walk_index = walk_index
        self.start = start            # first byte of its header
        self.header_end = header_end  # first byte of the blank line ending the header
        self.body_start = body_start  # first byte after that blank line
        self.end = end                # one past its body's last byte
        self.content_type = message.get_content_type()
        self.charset = (message.get_content_charset() or "").lower()
        self.encoding = (message.get("Content-Transfer-Encoding") or "7bit").strip().lower()
        self.filename = message.get_filename()
        self.boundary = message.get_boundary()
        self.children = []

    @property
    def is_text(self):
        """A text/plain or text/html part that a mail program shows."""
        return self.content_type in ("text/plain", "text/html") and self.filename is None


def header_end(data, start, end):
    """(start of the blank line that ends the header at `start`, first byte
    after it); (end, end) when there is none."""
    i = start
    while i < end:
        j = data.find(b"\n", i, end)
        if j < 0:
            return end, end
        if data[i:j + 1] in (b"\r\n", b"\n"):
            return i, j + 1
        i = j + 1
    return end, end


def _delimiters(data, start, end, boundary):
    """(line start, line end) of every delimiter line of `boundary` in
    [start, end), and whether it closes."""
    marker = b"--" + boundary
    found = []
    i = start
    while i < end:
        j = data.find(b"\n", i, end)
        line_end = end if j < 0 else j + 1
        line = data[i:line_end].rstrip(b"\r\n")
        if line.startswith(marker):
            rest = line[len(marker):]
            if rest.strip(b" \t") in (b"", b"--"):
                found.append((i, line_end, rest.startswith(b"--")))
                if rest.startswith(b"--"):
                    break
        i = line_end
    return found


def _line_break_before(data, at, floor):
    if at - 2 >= floor and data[at - 2:at] == b"\r\n":
        return at - 2
    if at - 1 >= floor and data[at - 1:at] == b"\n":
        return at - 1
    return at


def parse_entity(data, start, end, counter):
    blank, body_start = header_end(data, start, end)
    message = email.message_from_bytes(data[start:body_start], policy=email.policy.compat32)
    entity = Entity(counter[0], start, blank, body_start, end, message)
    counter[0] += 1
    if entity.content_type.startswith("multipart/") and entity.boundary:
        lines = _delimiters(data, body_start, end, entity.boundary.encode("latin-1"))
        for (_, after, closes), nxt in zip(lines, lines[1:]):
            if closes:
                break
            child_end = _line_break_before(data, nxt[0], after)
            entity.children.append(parse_entity(data, after, child_end, counter))
    elif entity.content_type == "message/rfc822":
        entity.children.append(parse_entity(data, body_start, end, counter))
    return entity


def parse_layout(data):
    """The mail's entities in walk order (the order of Python's
    Message.walk()), or None when they do not match what the email package
    reads."""
    root = parse_entity(data, 0, len(data), [0])
    entities = []

    def walk(e):
        entities.append(e)
        for c in e.children:
            walk(c)
    walk(root)
    message = email.message_from_bytes(data, policy=email.policy.compat32)
    if [e.content_type for e in entities] != [p.get_content_type() for p in message.walk()]:
        return None
    return entities


def mail_kind(entities):
    top = entities[0].content_type
    if top == "multipart/alternative":
        return "alternative"
    if top.startswith("multipart/"):
        return "mixed"
    if top.startswith("text/"):
        return "plain"
    return "other"


# Python's codecs for the charsets mail names.
CODECS = {"iso-2022-jp": "iso2022_jp", "shift_jis": "cp932", "shift-jis": "cp932",
          "x-sjis": "cp932", "euc-jp": "euc_jp", "us-ascii": "ascii", "utf-8": "utf-8",
          "iso-8859-1": "latin-1", "windows-1252": "cp1252", "": "latin-1"}


def codec_of(charset):
    name = CODECS.get(charset, charset)
    try:
        "".encode(name)
        return name
    except LookupError:
        return "latin-1"


B64 = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
HEX = re.compile(rb"[0-9A-Fa-f]{2}")


def transfer_decode(raw, touched, encoding):
    """The body's bytes after its transfer encoding, each with whether a lost
    byte went into it. A lost base64 character touches the three bytes of its
    group; a lost quoted-printable escape its byte, a lost soft line break
    the byte after it. Line ends become LF, as mail programs read them."""
    out = []
    if encoding == "base64":
        chars = [(c, t) for c, t in zip(raw, touched) if c in B64 or c == ord("=")]
        for k in range(0, len(chars) - 3, 4):
            group = chars[k:k + 4]
            hit = any(t for _, t in group)
            text = bytes(c for c, _ in group)
            try:
                decoded = base64.b64decode(text)
            except ValueError:
                decoded = b""
            out += [(b, hit) for b in decoded]
    elif encoding == "quoted-printable":
        i = 0
        carry = False
        n = len(raw)
        while i < n:
            c = raw[i]
            if c == ord("=") and HEX.fullmatch(raw[i + 1:i + 3] or b""):
                out.append((int(raw[i + 1:i + 3], 16), carry or any(touched[i:i + 3])))
                carry = False
                i += 3
                continue
            if c == ord("="):
                # A soft line break: "=", blanks, the line end.
                j = i + 1
                while j < n and raw[j] in b" \t":
                    j += 1
                if raw[j:j + 2] == b"\r\n" or raw[j:j + 1] == b"\n":
                    k = j + (2 if raw[j:j + 2] == b"\r\n" else 1)
                    carry = carry or any(touched[i:k])
                    i = k
                    continue
            if raw[i:i + 2] == b"\r\n":
                out.append((10, carry or touched[i] or touched[i + 1]))
                i += 2
            else:
                out.append((c, carry or touched[i]))
                i += 1
            carry = False
    else:
        i = 0
        while i < len(raw):
            if raw[i:i + 2] == b"\r\n":
                out.append((10, touched[i] or touched[i + 1]))
                i += 2
            else:
                out.append((raw[i], touched[i]))
                i += 1
    return out


def _jis_segments(data):
    """ISO-2022-JP bytes as (bytes of one character, escape that sets its
    mode); escape sequences make no character."""
    mode = b"\x1b(B"
    i = 0
    n = len(data)
    while i < n:
        if data[i] == 0x1B:
            for length in (4, 3):
                seq = data[i:i + length]
                if seq in (b"\x1b$(D", b"\x1b$(Q") or (length == 3 and seq in (
                        b"\x1b(B", b"\x1b(J", b"\x1b(I", b"\x1b$B", b"\x1b$@")):
                    mode = seq
                    i += length
                    break
            else:
                yield i, 1, mode
                i += 1
            continue
        double = mode.startswith(b"\x1b$") and 0x21 <= data[i] <= 0x7E
        size = 2 if double and i + 1 < n else 1
        yield i, size, mode
        i += size


def _char_sizes(data, codec):
    """(offset, length, prefix) of each character of `data` in `codec`."""
    if codec == "iso2022_jp":
        yield from _jis_segments(data)
        return
    i = 0
    n = len(data)
    while i < n:
        b = data[i]
        size = 1
        if codec == "cp932" and (0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC):
            size = 2
        elif codec == "euc_jp":
            size = 3 if b == 0x8F else 2 if b == 0x8E or 0xA1 <= b <= 0xFE else 1
        elif codec == "utf-8":
            size = 4 if b >= 0xF0 else 3 if b >= 0xE0 else 2 if b >= 0xC0 else 1
        size = min(size, n - i)
        yield i, size, b""
        i += size


def decode_text(raw, lost_offsets, encoding, charset):
    """(text, ceiling): the part body decoded as a mail program shows it, and
    the same with every character that a lost byte touches replaced by
    U+FFFD."""
    touched = [False] * len(raw)
    for k in lost_offsets:
        touched[k] = True
    decoded = []
    for byte, hit in transfer_decode(raw, touched, encoding):
        if byte == 10 and decoded and decoded[-1][0] == 13:
            decoded[-1] = (10, decoded[-1][1] or hit)
        else:
            decoded.append((byte, hit))
    data = bytes(b for b, _ in decoded)
    hits = [t for _, t in decoded]
    codec = codec_of(charset)
    text = []
    ceiling = []
    for at, size, prefix in _char_sizes(data, codec):
        piece = data[at:at + size]
        if prefix:
            char = (prefix + piece + (b"\x1b(B" if prefix != b"\x1b(B" else b"")).decode(
                "iso2022_jp_ext" if prefix == b"\x1b(I" else "iso2022_jp", "replace")
        else:
            char = piece.decode(codec, "replace")
        text.append(char)
        ceiling.append("\ufffd" if any(hits[at:at + size]) else char)
    return "".join(text), "".join(ceiling)


def shown_text(part):
    """What a mail program shows of a part read by the email package."""
    if part is None:
        return ""
    try:
        data = part.get_payload(decode=True)
    except Exception:  # a part damaged beyond decoding
        return ""
    if not isinstance(data, bytes):
        return ""
    codec = codec_of((part.get_content_charset() or "").lower())
    return data.decode(codec, "replace").replace("\r\n", "\n")
