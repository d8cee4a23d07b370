#!/usr/bin/python3
# Writes a deterministic mbox of a realistic mix of messages for the import
# benchmark: plain text, quoted-printable text, and multipart messages with a
# text part and base64 attachments of 300 B to 40 KB.
#   make_import_mbox.py OUTPUT [COUNT]
import base64
import math
import quopri
import random
import sys

out_path = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
rng = random.Random(4711)
words = ("mail folder message meeting report budget release server client patch review "
         "tomorrow schedule thanks regards question answer draft update invoice travel").split()
names = ["Alice Example", "Bob Smith", "Carol Jones", "Dave O'Brien", "Eve Müller", "Frank Li"]


def text(n):
    lines, line = [], []
    size = 0
    while size < n:
        w = rng.choice(words)
        line.append(w)
        size += len(w) + 1
        if len(' '.join(line)) > 60 or rng.random() < 0.02:
            lines.append(' '.join(line))
            line = []
    lines.append(' '.join(line))
    return '\n'.join(lines) + '\n'


def person(i):
    n = rng.choice(names)
    return '"%s" <%s%d@example.org>' % (n, n.split()[0].lower(), i % 97)


def header(i, extra):
    h = ["Return-Path: <sender%d@example.org>" % i,
         "Received: from mx%d.example.org (mx%d.example.org [192.0.2.%d])\n\tby mail.example.net with ESMTP id %08X;\n\tFri, 4 May 2001 14:05:44 -0400" % (i % 7, i % 7, i % 250, i),
         "Message-ID: <%d.%d@example.org>" % (i, rng.randrange(10**9)),
         "From: " + person(i),
         "To: " + ", ".join(person(i + k) for k in range(rng.randint(1, 3))),
         "Subject: %s %s %d" % (rng.choice(words), rng.choice(words), i),
         "Date: %s, %d %s 2023 %02d:%02d:%02d +0200" % (rng.choice(["Mon", "Tue", "Wed"]), rng.randint(1, 28),
                                                       rng.choice(["Jan", "Feb", "Mar", "Apr"]), rng.randrange(24),
                                                       rng.randrange(60), rng.randrange(60)),
         "MIME-Version: 1.0"]
    if rng.random() < 0.5:
        h.insert(3, "Cc: " + person(i + 5))
    return "\n".join(h + extra) + "\n\n"


def b64(data):
    s = base64.b64encode(data).decode()
    return "\n".join(s[k:k + 76] for k in range(0, len(s), 76)) + "\n"


def message(i):
    r = rng.random()
    if r < 0.4:
        return header(i, ["Content-Type: text/plain; charset=us-ascii", "Content-Transfer-Encoding: 7bit"]) + \
            text(rng.randint(500, 4000))
    if r < 0.6:
        body = text(rng.randint(1000, 6000)).replace("regards", "Grüße = ça").encode('utf-8')
        return header(i, ["Content-Type: text/plain; charset=utf-8",
                          "Content-Transfer-Encoding: quoted-printable"]) + quopri.encodestring(body).decode()
    b = "=_boundary_%d_%d" % (i, rng.randrange(10**6))
    parts = ["--%s\nContent-Type: text/plain; charset=us-ascii\n\n%s" % (b, text(rng.randint(200, 2000)))]
    for k in range(1 if rng.random() < 0.65 else 2):
        size = int(math.exp(rng.uniform(math.log(300), math.log(40000))))
        data = bytes(rng.getrandbits(8) for _ in range(size))
        parts.append("--%s\nContent-Type: application/octet-stream; name=\"file%d_%d.bin\"\n"
                     "Content-Disposition: attachment; filename=\"file%d_%d.bin\"\n"
                     "Content-Transfer-Encoding: base64\n\n%s" % (b, i, k, i, k, b64(data)))
    return header(i, ['Content-Type: multipart/mixed; boundary="%s"' % b]) + \
        "This is a multi-part message in MIME format.\n\n" + "\n".join(parts) + "\n--%s--\n" % b


with open(out_path, "w", encoding="utf-8") as f:
    for i in range(count):
        m = message(i)
        # mbox quoting of body lines that look like envelope lines
        m = "\n".join(">" + l if l.startswith("From ") else l for l in m.split("\n"))
        f.write("From sender%d@example.org Fri May  4 14:05:44 2001\n" % i)
        f.write(m if m.endswith("\n") else m + "\n")
        f.write("\n")
