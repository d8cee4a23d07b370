"""How a receiving program reads a letter: Python's own email parser.

  mime_parts.py FILE [N]

FILE holds one message, or with N it is an mbox and the N-th message (from
0) is read.  Prints one line for the message and one for each part that is
not itself multipart, in order:
  top TYPE disposition=D filename=F
  part TYPE disposition=D filename=F charset=C text=JSON
  part TYPE disposition=D filename=F charset=C bytes=LENGTH sha1=SHA1
with a text part's text decoded by its charset, as a JSON string in UTF-8,
and the decoded bytes of any other part; a missing value is "None".
"""
import hashlib
import json
import mailbox
import sys
from email import policy
from email.parser import BytesParser

if len(sys.argv) > 2:
    raw = mailbox.mbox(sys.argv[1])[int(sys.argv[2])].as_bytes()
else:
    with open(sys.argv[1], "rb") as f:
        raw = f.read()
msg = BytesParser(policy=policy.default).parsebytes(raw)
sys.stdout.buffer.write(("top %s disposition=%s filename=%s" % (msg.get_content_type(), msg.get_content_disposition(),
                                             msg.get_filename())).encode("utf-8") + b"\n")
for part in msg.walk():
    if part.is_multipart():
        continue
    if part.get_content_maintype() == "text":
        body = "text=" + json.dumps(part.get_content(), ensure_ascii=False)
    else:
        data = part.get_payload(decode=True)
        body = "bytes=%d sha1=%s" % (len(data), hashlib.sha1(data).hexdigest())
    sys.stdout.buffer.write(("part %s disposition=%s filename=%s charset=%s %s\n" % (
        part.get_content_type(), part.get_content_disposition(), part.get_filename(),
        part.get_content_charset(), body)).encode("utf-8"))
