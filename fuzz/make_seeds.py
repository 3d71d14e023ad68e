#!/usr/bin/python3
"""Writes the seed inputs of the fuzz targets into corpus/fuzz_<name>/seed-*.
Run again after changing it; inputs of faults found are kept beside the seeds as crash-*."""
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
RES = HERE.parent / "res"


def lag_head(name, lines):
    return b"".join((RES / name).read_bytes().splitlines(keepends=True)[:lines])


def seeds():
    english = lag_head("English.lag", 12)
    chinese = lag_head("Smp_Chs.lag", 12)
    yield "language", [
        english,
        chinese,
        b"\xef\xbb\xbf" + english,
        chinese.decode("utf-8").encode("gb18030"),
        b"0/a\r1/b\r500/c\r501/d\r-1/e\r1e2/f\r 7 /g\rcmdAdd/x/y\r",
        b"no slash\n\nTxtName/\n/empty key\n3.5/half\n",
    ]
    yield "settings", [
        b"\x01\x80\x25\x00\x00\x00",
        b"\x08\x00\xe8\x03\x00\x02extra",
        b"\x09\xff\xff\xff\x7f\x03",
        b"\x01",
        b"9600",
        b" 1.5e3 ",
        b"9600,n,8,1",
        b"115200,e,7,1.5",
        b"2400,o,5,2",
    ]
    yield "record_line", [
        "1,0000012345,2011-03-15,08:30:05,星期二\r\n".encode(),
        b"5,0000000001,2011/3/5,8:3:5,Mon\n5,0000000001,2011/3/5,8:3:5,Mon\n",
        b"7,card,2011-02-30,08:00,x\n8,card,2011-02-28,24:00:00,y\n",
        b"1,a,2011-01-01,00:00,w\n\n2,b,2011-01-02,00:00,w\n",
        b"0012ab,0123456789012345,2011-01-01,00:00,w\r3e9,c,2012-02-29,23:59:59,w",
        "9,卡,2011-01-01,00:00,星期一\n".encode("gb18030"),
        b"1,\x00x,2011-01-01,01:01,a\x00b\n,,,,\n1,2,3\n",
    ]
    yield "device_reply", [
        b"\x02\xaa\x00",
        b"\x02\x55\x00",
        b"\x08\xbb\xbb\xbb\xcc\x39\x30\x00\x1b",
        b"\x08\xbb\xbb\xbb\xcd\x39\x30\x00\x1b",
        b"\x04\xff\xff\xff\x00",
        b"\x03\x01\x02\x03\x02\xaa\x00\x04\x39\x30\x00\x00",
        bytes(range(0, 64)),
    ]
    yield "search", [
        "张三\0*张*".encode(),
        b"abc123\0a?c###",
        b"x\0[!a-z]",
        b"a-b\0[a-]b",
        b"[x\0[x",
        b"aaaaaaaaab\0*a*a*a*b",
        b"\0**",
        b"z\0[z-a]",
        b"a]b\0a]b",
        b"9\0[]9",
    ]


def main():
    for target, inputs in seeds():
        folder = HERE / "corpus" / f"fuzz_{target}"
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.glob("seed-*"):
            old.unlink()
        for number, data in enumerate(inputs, 1):
            (folder / f"seed-{number:02d}").write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
