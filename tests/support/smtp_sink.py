"""A real SMTP server (aiosmtpd) for the tests: stores every message it
accepts, and can be told to refuse recipients or the data.

Run with Debian's /usr/bin/python3:
  smtp_sink.py OUTDIR [--refuse ADDR]... [--defer ADDR]... [--refuse-data]
               [--multiline] [--refuse-while FILE]
It listens on 127.0.0.1 on a free port and writes the port to OUTDIR/port.
Each accepted message N is OUTDIR/N.eml (the data as received, CRLF and
all, dots already unstuffed) and OUTDIR/N.env (MAIL FROM, then one RCPT TO
per line).  --multiline sends every reply as two lines ("250-" then "250 ").
--refuse-while FILE refuses every recipient (550) for as long as FILE
exists: the server "recovers" when the test removes it.
"""
import argparse
import asyncio
import os
import signal

from aiosmtpd.smtp import SMTP


class Handler:
    def __init__(self, args):
        self.args = args
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.args.refuse_while and os.path.exists(self.args.refuse_while):
            return "550 5.7.1 <%s>: refused for now" % address
        if address in self.args.refuse:
            return "550 5.1.1 <%s>: no such user" % address
        if address in self.args.defer:
            return "450 4.2.0 <%s>: try again later" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.refuse_data:
            return "554 5.6.0 message refused"
        self.count += 1
        base = os.path.join(self.args.outdir, str(self.count))
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".env", "w") as f:
            f.write(envelope.mail_from + "\n")
            for r in envelope.rcpt_tos:
                f.write(r + "\n")
        os.rename(base + ".tmp", base + ".eml")
        return "250 OK queued as %d" % self.count


class MultiLineSMTP(SMTP):
    async def push(self, status):
        if len(status) > 4 and status[3] == " ":
            await super().push(status[:3] + "-first line of a continued reply")
        await super().push(status)


async def main():
    p = argparse.ArgumentParser()
    p.add_argument("outdir")
    p.add_argument("--refuse", action="append", default=[])
    p.add_argument("--defer", action="append", default=[])
    p.add_argument("--refuse-data", action="store_true")
    p.add_argument("--multiline", action="store_true")
    p.add_argument("--refuse-while", default="")
    args = p.parse_args()
    handler = Handler(args)
    cls = MultiLineSMTP if args.multiline else SMTP
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: cls(handler, decode_data=False, hostname="sink.test", data_size_limit=None),
        "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    with open(os.path.join(args.outdir, "port.tmp"), "w") as f:
        f.write("%d\n" % port)
    os.rename(os.path.join(args.outdir, "port.tmp"), os.path.join(args.outdir, "port"))
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    await stop.wait()
    server.close()


asyncio.run(main())
