#!/usr/bin/python3
# Stand-ins for the voice's speech helper, started by the voice in its place
# (CLIPVOCE_ESPEAK_HELPER); each appends what it sees to CLIPVOCE_STANDIN_LOG.
# CLIPVOCE_STANDIN_ROLE:
#   real  runs the real clipvoce-espeak beside this file; with CLIPVOCE_STANDIN_SQUAT=1, a
#         squatter of the user nobody connects to the voice's port first (report LOG.squat)
#   fake  speaks silence, one step of CLIPVOCE_STANDIN_PLAN per Speak over all its starts:
#         good, forge (words beyond the audio), otherid (another request's messages),
#         badsize (words of the wrong size), die, hang (answers nothing more); then good
import os
import socket
import struct
import subprocess
import sys
import time

HELLO, SPEAK, CANCEL, WORD, AUDIO, DONE, CANCELLED = range(1, 8)
WORD_SAMPLES = 882  # 40 ms at 22050 Hz
LOG = os.environ.get('CLIPVOCE_STANDIN_LOG', '/dev/null')


def log(line):
    with open(LOG, 'a') as f:
        print(line, file=f)


def send(s, kind, request, body=b''):
    s.sendall(struct.pack('<3I', kind, request, len(body)) + body)


def real(port):
    if os.environ.get('CLIPVOCE_STANDIN_SQUAT') == '1':
        others = {k: v for k, v in os.environ.items() if k != 'CLIPVOCE_HELPER_KEY'}
        # The script goes in on standard input: the build's folder may be closed to others.
        with open(__file__, 'rb') as script:
            code = script.read()
        squatter = subprocess.Popen(['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups',
                                     '/usr/bin/python3', '-', 'squat', port, str(os.getpid())], stdin=subprocess.PIPE,
                                    stdout=open(LOG + '.squat', 'w'), env=others, cwd='/')
        squatter.stdin.write(code)
        squatter.stdin.close()
        deadline = time.monotonic() + 10
        while 'connected' not in open(LOG + '.squat').read() and time.monotonic() < deadline:
            time.sleep(0.01)
    log('start')
    helper = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'clipvoce-espeak')
    os.execv(helper, [helper, port])


# Another user's process that raced the helper to the voice's port: one connection says
# nothing, the other offers a greeting made of what it can read of the helper (its
# command line; its environment, with the key, is the user's own). It reports every
# byte the voice sends either.
def squat(port, pid):
    print(f'uid={os.getuid()}', flush=True)
    silent, forger = (socket.create_connection(('127.0.0.1', int(port))) for _ in range(2))
    print('connected', flush=True)
    arguments, deadline = [''], time.monotonic() + 10
    while not arguments[0].endswith('clipvoce-espeak') and time.monotonic() < deadline:
        time.sleep(0.005)
        arguments = open(f'/proc/{pid}/cmdline', 'rb').read().decode().split('\0')
    print('arguments=' + ' '.join(arguments).strip(), flush=True)
    numbers = [int(a) & 0xFFFFFFFF for a in arguments[2:] if a.isdigit()] + [0] * 4
    send(forger, HELLO, 0, struct.pack('<5I', *numbers[:4], 22050))
    start = time.monotonic()
    for name, s in (('forger', forger), ('silent', silent)):
        s.settimeout(20)
        received = len(b''.join(iter(lambda: s.recv(65536), b'')))
        print(f'{name}_received={received}\n{name}_closed_ms={(time.monotonic() - start) * 1000:.0f}', flush=True)


def fake(port):
    key = os.environ['CLIPVOCE_HELPER_KEY']
    log('start')
    plan = os.environ.get('CLIPVOCE_STANDIN_PLAN', '').split(',')
    s = socket.create_connection(('127.0.0.1', int(port)))
    send(s, HELLO, 0, struct.pack('<5I', *(int(key[i:i + 8], 16) for i in range(0, 32, 8)), 22050))
    stream = s.makefile('rb')
    while len(header := stream.read(12)) == 12:
        kind, request, size = struct.unpack('<3I', header)
        body = stream.read(size)
        if kind == CANCEL:
            send(s, CANCELLED, request)
        if kind != SPEAK:
            continue
        spoken = sum(line.startswith('speak') for line in open(LOG))
        step = plan[spoken] if spoken < len(plan) else 'good'
        log('speak ' + step)
        if step == 'hang':
            stream.read()  # until the voice gives up on it
        if step in ('die', 'hang'):
            return
        request += step == 'otherid'
        pos = 0
        voice_bytes = struct.unpack('<I', body[8:12])[0]
        for i, word in enumerate(body[16 + voice_bytes:].decode('utf-16-le').split(' ')):
            sample = 10 ** 9 if step == 'forge' else i * WORD_SAMPLES
            send(s, WORD, request, struct.pack('<3I', sample, pos, len(word))[:8 if step == 'badsize' else 12])
            send(s, AUDIO, request, bytes(2 * WORD_SAMPLES))
            pos += len(word) + 1
        send(s, DONE, request)


if __name__ == '__main__':
    # Wine hands a native child the descriptors of the Windows process that started it,
    # among them the pipe the test runner waits on.
    if sys.argv[1] != 'squat':
        null = os.open('/dev/null', os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(null, fd)
    os.closerange(3, 1024)
    try:
        if sys.argv[1] == 'squat':
            squat(*sys.argv[2:])
        elif os.environ.get('CLIPVOCE_STANDIN_ROLE') == 'fake':
            fake(sys.argv[1])
        else:
            real(sys.argv[1])
    except OSError:
        pass  # the voice closed the connection
