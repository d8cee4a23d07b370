"""Peer for bench_send_queue: sends every *.eml of a directory over one SMTP
connection with Python's smtplib and prints the seconds it took.
  smtplib_peer.py PORT DIR"""
import os
import smtplib
import sys
import time

port, directory = int(sys.argv[1]), sys.argv[2]
names = sorted(n for n in os.listdir(directory) if n.endswith(".eml"))
texts = []
for n in names:
    with open(os.path.join(directory, n), "rb") as f:
        texts.append(f.read().replace(b"\n", b"\r\n"))
start = time.perf_counter()
s = smtplib.SMTP("127.0.0.1", port)
s.helo("bench")
for t in texts:
    s.sendmail("joe@example.org", ["ann@example.org", "bob@example.org"], t)
s.quit()
print("%.4f" % (time.perf_counter() - start))
