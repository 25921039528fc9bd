#!/usr/bin/env python3
"""Writes the hostile settings files of fuzz/corpus/hostile/.

The files are committed; this script records how each was made and
rewrites them all when run (python3 fuzz/make_hostile_corpus.py). Each file
is a small input that a careless line reader or number scanner would
mishandle: NUL bytes, lone CRs, Ctrl-Z bytes, over-long lines and labels,
extreme numbers, signs without digits, binary garbage and empty or blank
files.
"""
import os
import random

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "hostile")


def example_lines():
    lines = ["LiveReload 0", "HostValues", "A 1.5", "B 2.5", "Code 3.5", "C 4.5", "D 5.5",
             "E 6.5", "F 7.5", "AimTable", "R0 0 1 2 3 4 5 6", "R1 7 8 9 10 11 12 13",
             "R2 14 15 16 17 18 19 20", "R3 21 22 23 24 25 26 27", "WeaponOffsets",
             "Slot0 0 0 0"]
    lines += ["Slot%d 0.5 1 2" % slot for slot in range(1, 16)]
    return lines


def text(lines, end="\n"):
    return "".join(line + end for line in lines).encode("latin-1")


def replaced(changes):
    lines = example_lines()
    for number, line in changes.items():
        lines[number - 1] = line
    return text(lines)


def files():
    rng = random.Random(20240611)
    yield "empty.dat", b""
    yield "only_newlines.dat", b"\n" * 40
    yield "only_crlf.dat", b"\r\n" * 40
    yield "only_spaces.dat", b" " * 600
    yield "lone_cr_line_ends.dat", text(example_lines(), "\r")
    yield "cr_cr_lf_line_ends.dat", text(example_lines(), "\r\r\n")
    yield "cr_at_the_very_end.dat", b"LiveReload 1\r"
    yield "nul_bytes_in_lines.dat", replaced({
        1: "Live\0Reload 1", 3: "A 1.\x005", 4: "\0B 2.5", 11: "R0 0 1 2\0 3 4 5 6",
        17: "Slot1 \0 0.5 1 2", 31: "Slot15 0.5 1 2\0"})
    yield "all_nul.dat", b"\0" * 1024
    yield "line_of_10k_digits.dat", replaced({3: "A " + "9" * 10000})
    yield "line_of_10k_spaces.dat", replaced({4: "B" + " " * 10000 + "2.5"})
    yield "line_of_10k_label.dat", replaced({17: "L" * 10000 + " 1 2 3"})
    yield "line_of_10k_zeros_fraction.dat", replaced({5: "Code 0." + "0" * 10000 + "1"})
    yield "line_of_511_then_512.dat", replaced({3: "A 1 " + "x" * 507, 4: "B 2 " + "y" * 508})
    yield "labels_of_127_and_128.dat", replaced(
        {n: ("K" * (127 + n % 2)) + " 4 5 6 7 8 9 1" for n in range(3, 32) if n not in (10, 15)})
    yield "huge_exponents.dat", replaced({
        1: "LiveReload 1e999999999999", 3: "A 1e99999999999999999999", 4: "B 1e-99999999999",
        5: "Code -1e39", 6: "C 1e-46", 7: "D 3.4028236e38", 8: "E 0e999999999",
        9: "F 1e2147483648", 11: "R0 1e38 1e39 -1e39 1e-38 1e-45 1e-50 2e-45"})
    yield "huge_integers.dat", replaced({1: "LiveReload -" + "9" * 400})
    yield "live_reload_limits.dat", b"LiveReload 2147483648\nH\nA -2147483649\n"
    yield "signs_only.dat", replaced({
        1: "LiveReload -", 3: "A +", 4: "B -", 5: "Code +-1", 6: "C --2", 7: "D .", 8: "E -.",
        9: "F e5", 11: "R0 1e+ 2e- 3e 4.e 5E+9 .5 -.5e1", 17: "Slot1 + - +", 18: "Slot2 ++ -- .."})
    yield "words_for_numbers.dat", replaced({
        3: "A inf", 4: "B nan", 5: "Code infinity", 6: "C 0x1p4", 7: "D 1,5", 8: "E 1_000",
        9: "F 1.5f", 17: "Slot1 NaN Inf -inf"})
    yield "tabs_and_odd_spaces.dat", replaced({
        3: "A\t1.5", 4: "B\v2.5", 5: "Code\f3.5", 11: "R0\t0\t1\v2\f3 4\t5 6", 17: "\t Slot1 \t1 2 3"})
    yield "high_bytes.dat", replaced({
        1: "\xff\xfe 1", 3: "\xe9t\xe9 1.5", 11: "\x80\x81 1 2 3 4 5 6 7", 17: "Slot1 \xa01 2 3"})
    yield "utf8_bom.dat", b"\xef\xbb\xbf" + text(example_lines())
    yield "utf16le.dat", "".join(line + "\r\n" for line in example_lines()).encode("utf-16-le")
    yield "truncated_mid_number.dat", text(example_lines())[:-4]
    yield "five_thousand_short_lines.dat", b"1\n" * 5000
    yield "bigger_than_the_read_buffer.dat", b"".join(
        (b"Line%d " % n) + b"7" * 990 + b"\n" for n in range(40))
    # A Ctrl-Z ends the file for a text-mode read, wherever it stands.
    yield "ctrl_z_mid_line.dat", replaced({12: "R1 7 8 9\x1a 10 11 12 13"})
    yield "ctrl_z_first.dat", b"\x1a" + text(example_lines())
    yield "ctrl_z_after_cr.dat", text(example_lines()[:5]) + b"F 9.5\r\x1a\nG 8.5\n"
    yield "ctrl_z_in_a_long_line.dat", replaced({3: "A 1 " + "x" * 300 + "\x1a" + "y" * 300})
    yield "ctrl_z_after_line_31.dat", text(example_lines()) + b"\x1aSlot16 9 9 9\n"
    yield "binary_garbage.dat", bytes(rng.randrange(256) for _ in range(2048))
    yield "binary_garbage_with_line_feeds.dat", bytes(
        rng.choice(b"\n\r\0 .-+e0123456789\xff") for _ in range(3000))


def main():
    os.makedirs(HERE, exist_ok=True)
    for name, data in files():
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
