import os

import ckp

ROUNDS = 10_000


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def one_round(source, target, absent):
    with ckp.Writer(target) as out:
        for record in ckp.read(source):
            if record.type == ckp.Type.SYNTAX:
                out.comment(record.error[0])
            elif record.type != ckp.Type.COMMENT:
                out.transfer(record, seen=record.path or "")
    try:
        ckp.read(absent)
    except ckp.Error:
        pass


def test_memory_stays_flat_over_many_reads_and_writes(write, tmp_path):
    source = write("in.ckpt",
                   'WRXCHECKPOINT="1.0"\n; note\n'
                   'a x="1" y \\\n z="caf\xe9"\nbad "x\nc WRXc d="4"\n')
    target = str(tmp_path / "out.ckpt")
    absent = str(tmp_path / "absent.ckpt")
    for _ in range(ROUNDS // 10):  # let the allocators reach their working size
        one_round(source, target, absent)
    before = resident_bytes()
    for _ in range(ROUNDS):
        one_round(source, target, absent)
    grown = resident_bytes() - before
    # Even 64 bytes lost per round would show as 640 kB.
    assert grown < 512 * 1024, f"resident size grew by {grown} bytes"
    assert open(target).read().startswith('WRXCHECKPOINT="1.0" seen=""\na x="1"')
