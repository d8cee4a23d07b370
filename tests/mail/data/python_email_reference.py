#!/usr/bin/python3
# Reference decoding of a set of messages by Python's email package, for the
# import test.  For each file given: its addresses, subject, date and every
# leaf part decoded, in a line format that is easy to read back:
#   MSG name
#   SUBJECT hex | DATE seconds|NONE
#   TO/FROM/REPLYTO hex(mailbox) hex(name)
#   PART type/subtype hex(decoded bytes) | RFC822 type/subtype
#   END
import email
import email.utils
import sys


def h(b):
    if isinstance(b, str):
        b = b.encode('utf-8', 'surrogateescape')
    return b.hex() or '-'


def addresses(msg, names):
    values = []
    for n in names:
        values += [str(v) for v in msg.get_all(n, [])]
    return email.utils.getaddresses(values)


def leaves(part, out):
    ctype = part.get_content_type()
    if part.get_content_maintype() == 'message':
        # Kept whole as one part here; Python parses the inner message.
        out.append('RFC822 ' + ctype)
        return
    if part.is_multipart():
        for p in part.get_payload():
            leaves(p, out)
        return
    payload = part.get_payload(decode=True)
    out.append('PART %s %s' % (ctype, h(payload if payload is not None else b'')))


def main():
    for path in sys.argv[1:]:
        with open(path, 'rb') as f:
            msg = email.message_from_binary_file(f)
        print('MSG', path.rsplit('/', 1)[-1])
        subject = msg.get('subject')
        print('SUBJECT', h(str(subject)) if subject is not None else '-')
        date = msg.get('date')
        seconds = 'NONE'
        if date is not None:
            try:
                seconds = str(int(email.utils.parsedate_to_datetime(str(date)).timestamp()))
            except Exception:
                pass
        print('DATE', seconds)
        for key, names in (('TO', ('to', 'cc', 'bcc')), ('FROM', ('from', 'sender')), ('REPLYTO', ('reply-to',))):
            for name, addr in addresses(msg, names):
                print(key, h(addr), h(name))
        out = []
        leaves(msg, out)
        for line in out:
            print(line)
        print('END')


main()
