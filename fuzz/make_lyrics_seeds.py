#!/usr/bin/env python3
"""Writes the seed files of fuzz_lyrics into fuzz/corpus/lyrics: MIDI files
laid out as karaoke files found on the internet are (.kar text events with
headers, lyric events, both, RMID, SMPTE time, several encodings, running
status) and LRC files. demo.mid beside them is the build's demo song."""
import os
import struct
import sys

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "lyrics")


def varlen(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.append(0x80 | (v & 0x7F))
        v >>= 7
    return bytes(reversed(out))


def meta(kind, data):
    return b"\xff" + bytes([kind]) + varlen(len(data)) + data


def track(events):
    """events: (delta, bytes) pairs; the end of track is added."""
    body = b"".join(varlen(d) + e for d, e in events) + b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + body


def smf(fmt, division, tracks):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division) + b"".join(tracks)


def tempo(us):
    return meta(0x51, us.to_bytes(3, "big"))


def melody(n, step=240, channel=0):
    """n notes with running status: note-on, then note-off as velocity 0."""
    events = [(0, bytes([0xC0 | channel, 0])), (0, bytes([0x90 | channel, 60, 90]))]
    for i in range(1, n):
        events.append((step, bytes([62 + i % 5, 0])))
        events.append((0, bytes([60 + i % 5, 90])))
    events.append((step, bytes([60, 0])))
    return events


def kar(lines, encoding, title, artist):
    words = [(0, meta(0x03, b"Words")), (0, meta(0x01, b"@KMIDI KARAOKE FILE")), (0, meta(0x01, b"@V0100")),
             (0, meta(0x01, b"@I" + "made for the tests".encode())), (0, meta(0x01, b"@LENGL")),
             (0, meta(0x01, b"@T" + title.encode(encoding))), (0, meta(0x01, b"@T" + artist.encode(encoding)))]
    first = True
    for page, line in lines:
        for i, syl in enumerate(line):
            mark = ("\\" if page else "/") if i == 0 and not first else ("\\" if first else "")
            words.append((0 if first else 240, meta(0x01, mark.encode() + syl.encode(encoding))))
            first = False
    conductor = [(0, meta(0x03, b"Song")), (0, tempo(500000)), (960, tempo(400000)), (1920, tempo(600000))]
    notes = sum(len(l) for _, l in lines)
    return smf(1, 480, [track(conductor), track(words), track(melody(notes))])


def lyric_events(lines, encoding, division):
    events = [(0, meta(0x03, b"Vocal"))]
    for p, line in enumerate(lines):
        for i, syl in enumerate(line):
            end = ("\r\n" if p % 2 == 0 else "\r\r") if i == len(line) - 1 else ""
            events.append((0 if not events[1:] else 250, meta(0x05, (syl + end).encode(encoding))))
    return events


def main():
    os.makedirs(OUT, exist_ok=True)
    english = [(True, ["Twin", "kle ", "twin", "kle ", "lit", "tle ", "star"]),
               (False, ["How ", "I ", "won", "der ", "what ", "you ", "are"]),
               (True, ["Up ", "a", "bove ", "the ", "world ", "so ", "high"])]
    chinese = [(True, list("一闪一闪亮晶晶")), (False, list("满天都是小星星")), (True, list("挂在天上放光明"))]
    files = {
        "kar_english.kar": kar(english, "ascii", "Twinkle", "Traditional"),
        "kar_gbk.kar": kar(chinese, "gbk", "小星星", "儿歌"),
        "kar_big5.kar": kar([(True, list("一閃一閃亮晶晶")), (False, list("滿天都是小星星"))], "big5", "小星星", "兒歌"),
    }
    # Lyric events in Shift-JIS under an SMPTE division (25 fps, 40 ticks).
    japanese = [list("きらきらひかる"), list("おそらのほしよ")]
    files["lyrics_sjis_smpte.mid"] = smf(0, 0xE728, [track(lyric_events(japanese, "shift_jis", 0) + melody(14, 250))])
    # Both kinds, Latin-1 lyric events, a tempo change in the middle.
    latin = [list(["Dé", "jà ", "vu"]), list(["ça ", "va"])]
    both = kar(english[:2], "ascii", "Both", "Kinds")
    lyr = track([(0, tempo(450000))] + lyric_events(latin, "latin-1", 480))
    files["both_kinds.kar"] = both[:10] + struct.pack(">H", 4) + both[12:] + lyr
    # The same song wrapped in a RIFF RMID file, with a list chunk first.
    inner = kar(english, "ascii", "RMID", "Wrapped")
    info = b"LIST" + struct.pack("<I", 12) + b"INFOINAM" + struct.pack("<I", 0)
    body = b"RMID" + info + b"data" + struct.pack("<I", len(inner)) + inner
    files["wrapped.rmi"] = b"RIFF" + struct.pack("<I", len(body)) + body
    files["enhanced.lrc"] = ("\ufeff[ti:Song]\n[ar:Band]\n[offset:-250]\n"
                             "[00:01.00]<00:01.00>Hel<00:01.40>lo <00:02.00>world<00:02.80>\n"
                             "[00:03.00]\n[00:04.5][00:30.25]Cho<00:04.90>rus\n").encode("utf-8")
    files["latin1.lrc"] = "[ti:Été]\n[00:01.00]Déjà vu\n[00:02.50]Über alles\n".encode("latin-1")
    for name, data in files.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
