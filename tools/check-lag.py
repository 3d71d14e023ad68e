#!/usr/bin/python3
"""Check the three language files under res/ for completeness and form.

Run from anywhere:  /usr/bin/python3 tools/check-lag.py [resdir]
Exits 0 when every check passes, 1 otherwise, printing one line per problem.

The files are read the way the program reads them: a line is "key/text",
split at the first "/"; a key that reads as a number is a message number
(0..500), any other key is a caption line; a line without "/" is ignored.
"""

import os
import re
import sys

FILES = {
    "Smp_Chs.lag": "zh-Hans",
    "big_Chs.lag": "zh-Hant",
    "English.lag": "en",
}


def number_range(*spans):
    out = set()
    for span in spans:
        if isinstance(span, int):
            out.add(span)
        else:
            out.update(range(span[0], span[1] + 1))
    return out


# Every message number the program shows, plus our own 135..145.
REQUIRED_MESSAGES = number_range(
    (0, 4), (6, 15), (19, 31), 40, (42, 48), (50, 59), (61, 67), (69, 73),
    (75, 104), (106, 118), (120, 134), (135, 141), (142, 145), 150, (155, 158), 185)
# A shared register's link lost during work; waiting for its server's answer.
REQUIRED_MESSAGES |= number_range(263, (260, 262))
# Installation: first-start language, serial port rights and kind, database creation.
REQUIRED_MESSAGES |= number_range((170, 173))
# Titles of the file dialogs and the name of the picture filter.
REQUIRED_MESSAGES |= number_range((160, 167))
# Progress of a large record list's count and export.
REQUIRED_MESSAGES |= number_range((190, 191))
# The serial port's device and a lock file left behind.
REQUIRED_MESSAGES |= number_range((210, 212))
# Import summary: formula cells the workbook holds without a result.
REQUIRED_MESSAGES |= number_range(240)
# A shared server register that cannot be used (start and connection test).
REQUIRED_MESSAGES |= number_range((250, 256))
# The records page's activity chart and "last seen" list.
REQUIRED_MESSAGES |= number_range((280, 289))
# Restoring a register on a server: administrators only, no other desk connected.
REQUIRED_MESSAGES |= number_range((290, 291))
# What an overwrite at the duplicate question changes; stopping a run to close the window.
REQUIRED_MESSAGES |= number_range((200, 204))
# Safety of the register's folders and files, a register that cannot be written, the lock.
REQUIRED_MESSAGES |= number_range((220, 233))
# The audit log page: its tab, filters, verification and head code; its list's columns.
REQUIRED_MESSAGES |= number_range((270, 279))
REQUIRED_MESSAGES |= number_range((241, 247))
# Desks sharing a register: a row changed meanwhile, a run that must be alone.
REQUIRED_MESSAGES |= number_range((257, 259))

MONTHS = {
    "zh-Hans": ["一月", "二月", "三月", "四月", "五月", "六月",
                "七月", "八月", "九月", "十月", "十一月", "十二月"],
    "zh-Hant": ["一月", "二月", "三月", "四月", "五月", "六月",
                "七月", "八月", "九月", "十月", "十一月", "十二月"],
    "en": ["January", "February", "March", "April", "May", "June", "July",
           "August", "September", "October", "November", "December"],
}

PERMANENT = {"zh-Hans": "永久有效", "zh-Hant": "永久有效", "en": "Permanent"}

# Control captions both forms carry. cmdGg is absent on purpose: the sign-in
# dialog sets ">>" / "<<" itself and a caption line would fight with it.
LOGIN_CAPTIONS = ["Lbl1", "Lbl2", "Lbl3", "lbl4", "Lbl5", "Lbl6", "lbl7",
                  "cmdOK", "CmdCancel", "CmdChg"]
MAIN_CAPTIONS = [
    "btnInsert", "BtnUpdate", "btnCls", "Image1", "btndel", "btnInput",
    "btnEx", "btnPrint",
    "Frame3", "Label30", "Label31", "cmdAdd", "cmdUp", "cmdD", "cmdIn",
    "cmdPrint", "cmdEx", "lblNote",
    "OptN", "OptT", "OptO", "OptR", "Check1", "btnStart", "btnStop",
    "FrmIO", "L_Code", "L_Name", "L_Dpt", "L_No", "CKD", "CKNum", "BtnFind",
    "BtnDelD", "btnOutD", "btnInputD",
    "btnbak", "dcButton2", "Label7", "Label8", "OptR0", "OptR1", "cmdAddU",
    "cmdUpU", "cmdDelU", "cmdApply", "btnlag",
    "Lblmsg", "LblPrg",
    "btnChart", "btnLast", "btnChartSave", "btnChartPrint", "btnChartCancel", "FrmLast", "btnLastOut",
    "btnLastPrint",
]
ARRAY_CAPTIONS = {"CmdTip": [0, 1, 2, 3]}
FORBIDDEN_CAPTIONS = {"cmdGg", "LblCount"}  # set by the program at run time
MAIN_MARKER = "[Frmmain labels added by the main window]"

# Pieces joined with a value and no separator: (before-value pieces,
# after-value pieces).  English needs the blank on the inside of the joint;
# Chinese must not have one.
BEFORE_VALUE = [46, 53, 100, 110, 113, 114, 117, 122, 123]
AFTER_VALUE = [47, 114, 115, 118, 124]

GRID_HEADERS = number_range((75, 94), 104, 111)
TAB_CAPTIONS = [95, 96, 97, 103, 98]

NUMBER_KEY = re.compile(r"^\s*[+-]?(\d+\.?\d*|\.\d+)\s*$")


class LagFile:
    def __init__(self, path):
        self.path = path
        self.name = os.path.basename(path)
        self.problems = []
        self.messages = {}
        self.captions = []          # (key, text) in file order
        self.lines = []
        self._read()

    def problem(self, text):
        self.problems.append(f"{self.name}: {text}")

    def _read(self):
        with open(self.path, "rb") as f:
            raw = f.read()
        if raw.startswith(b"\xef\xbb\xbf"):
            self.problem("starts with a byte order mark")
            raw = raw[3:]
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError as e:
            self.problem(f"not valid UTF-8 ({e})")
            text = raw.decode("utf-8", "replace")
        if not text.endswith("\r\n"):
            self.problem("last line does not end with CR LF")
        bare = [no for no, line in enumerate(text.split("\r\n"), 1)
                if "\n" in line or "\r" in line]
        if bare:
            self.problem(f"bare CR or LF line ends (must be CR LF) after line(s) {bare[:5]}")
        # Parse by any line end so that the other checks still say something useful.
        self.lines = text.splitlines()
        for no, line in enumerate(self.lines, 1):
            self._parse(no, line)

    def _parse(self, no, line):
        slash = line.find("/")
        if slash < 0:
            if line and not (line.startswith("[") and line.endswith("]")):
                self.problem(f"line {no}: no '/' and not a [section] marker: {line!r}")
            return
        key, text = line[:slash], line[slash + 1:]
        if NUMBER_KEY.match(key):
            n = round(float(key))
            if not 0 <= n <= 500:
                self.problem(f"line {no}: message number {key} outside 0..500")
                return
            if n in self.messages:
                self.problem(f"line {no}: message {n} given twice")
            self.messages[n] = text
        else:
            self.captions.append((key, text))

    def caption_keys(self):
        """Caption identities: 'Name' or 'Name/index' for array members."""
        keys = []
        for key, text in self.captions:
            m = re.match(r"^(\d+)/", text)
            keys.append(f"{key}/{m.group(1)}" if m else key)
        return keys


def check_file(lag, lang):
    msg = lag.messages

    for n in sorted(REQUIRED_MESSAGES):
        if n not in msg:
            lag.problem(f"message {n} missing")
        elif not msg[n].strip():
            lag.problem(f"message {n} empty")
    extra = sorted(set(msg) - REQUIRED_MESSAGES)
    if extra:
        lag.problem(f"messages not used by the program: {extra}")

    for i, name in enumerate(MONTHS[lang]):
        if msg.get(20 + i) != name:
            lag.problem(f"message {20 + i} should be the month name {name!r}, is {msg.get(20 + i)!r}")
    if msg.get(19) != PERMANENT[lang]:
        lag.problem(f"message 19 should be {PERMANENT[lang]!r}")

    m62, m63, m73 = msg.get(62, ""), msg.get(63, ""), msg.get(73, "")
    if not m73 or m73 not in m62:
        lag.problem("message 73 must occur in message 62 (administrator rights text)")
    if m73 and m73 in m63:
        lag.problem("message 73 must not occur in message 63 (ordinary operator)")

    for n in GRID_HEADERS | set(TAB_CAPTIONS):
        limit = 8 if lang != "en" else 22
        if len(msg.get(n, "")) > limit:
            lag.problem(f"message {n} is a header/tab caption and too long: {msg[n]!r}")

    for n in BEFORE_VALUE:
        t = msg.get(n, "")
        if lang == "en":
            if t and not (t.endswith(" ") or t.endswith('"')):
                lag.problem(f"message {n} is followed by a value: it must end with a blank or a quote")
        elif t != t.rstrip():
            lag.problem(f"message {n} ends with a blank")
    for n in AFTER_VALUE:
        t = msg.get(n, "")
        if lang == "en":
            if t and not (t.startswith(" ") or t.startswith('"')):
                lag.problem(f"message {n} follows a value: it must start with a blank or a quote")
        elif t != t.lstrip():
            lag.problem(f"message {n} starts with a blank")

    for n, t in msg.items():
        if lang != "en" and n not in BEFORE_VALUE + AFTER_VALUE and t != t.strip():
            lag.problem(f"message {n} has leading or trailing blanks")

    # Captions.
    keys = lag.caption_keys()
    seen = set()
    for k in keys:
        if k in seen:
            lag.problem(f"caption {k} given twice")
        seen.add(k)
    for k in LOGIN_CAPTIONS + MAIN_CAPTIONS:
        if k not in seen:
            lag.problem(f"caption line for {k} missing")
    for arr, idx in ARRAY_CAPTIONS.items():
        for i in idx:
            if f"{arr}/{i}" not in seen:
                lag.problem(f"caption line for {arr}/{i} missing")
    for k in FORBIDDEN_CAPTIONS:
        if k in seen:
            lag.problem(f"{k} must not have a caption line (the program sets it)")
    for key, text in lag.captions:
        if not key or not text.strip():
            lag.problem(f"caption line {key}/{text} has an empty key or text")
        # A caption starting with a digit is taken as "index/caption".
        if key not in ARRAY_CAPTIONS and text[:1].isdigit():
            lag.problem(f"caption of {key} starts with a digit and would be read as an array index")
        if key in ARRAY_CAPTIONS and not re.match(r"^\d+/.", text):
            lag.problem(f"caption line of array {key} lacks 'index/caption'")

    # The validity confirmation shows message 110 + the caption of Check1;
    # the stored validity text is message 19.  They should say the same.
    check1 = dict(lag.captions).get("Check1")
    if check1 is not None and check1 != msg.get(19):
        lag.problem("caption of Check1 differs from message 19")

    # The main window appends the captions of its own unnamed labels and
    # frames after this marker.
    if MAIN_MARKER not in lag.lines:
        lag.problem(f"section marker {MAIN_MARKER!r} missing")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    resdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res")
    files = {}
    problems = []
    for name, lang in FILES.items():
        path = os.path.join(resdir, name)
        if not os.path.exists(path):
            problems.append(f"{name}: missing")
            continue
        lag = LagFile(path)
        check_file(lag, lang)
        files[name] = lag
        problems.extend(lag.problems)

    # A language switch keeps whatever the new file does not name, so the
    # three files must name the same messages and the same captions.
    names = list(files)
    for a in names:
        for b in names:
            if a >= b:
                continue
            ma, mb = set(files[a].messages), set(files[b].messages)
            if ma != mb:
                problems.append(f"{a} / {b}: message numbers differ: {sorted(ma ^ mb)}")
            ca, cb = set(files[a].caption_keys()), set(files[b].caption_keys())
            if ca != cb:
                problems.append(f"{a} / {b}: caption keys differ: {sorted(ca ^ cb)}")

    if "Smp_Chs.lag" in files and "big_Chs.lag" in files:
        s, t = files["Smp_Chs.lag"], files["big_Chs.lag"]
        # A word of two characters (取消) is often written alike in both.
        same = [n for n in s.messages if n not in range(19, 32) and len(s.messages[n]) > 2
                and not s.messages[n].isascii() and s.messages[n] == t.messages.get(n)]
        if len(same) > 10:
            problems.append(f"big_Chs.lag: {len(same)} messages identical to Simplified Chinese: {same}")

    # A Traditional file must not carry Simplified forms and the other way
    # round: Big5 holds no Simplified-only characters, GB2312 no
    # Traditional-only ones.
    for name, codec, script in (("big_Chs.lag", "big5", "Simplified"),
                                ("Smp_Chs.lag", "gb2312", "Traditional")):
        if name not in files:
            continue
        for no, line in enumerate(files[name].lines, 1):
            bad = []
            for ch in line:
                try:
                    ch.encode(codec)
                except UnicodeEncodeError:
                    bad.append(ch)
            if bad:
                problems.append(f"{name}: line {no}: {script} or unusual character(s) {''.join(bad)}")

    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} problem(s)")
        return 1
    for name, lag in files.items():
        print(f"{name}: {len(lag.messages)} messages, {len(lag.captions)} captions, ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
