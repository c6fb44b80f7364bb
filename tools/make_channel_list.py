#!/usr/bin/env python3
"""Writes resources/TorvelList.txt, the channel list shipped with Torvel.

1500 lines "[NNNN]:" followed by "NotEntry" or
"title,centre kHz,span kHz,red,green,blue,category,detect mode,fine Hz,additional",
CR LF line ends (the form the program writes back at exit, so the file stays
unchanged by a run).

Slots:
  1-14      2.4 GHz WLAN channels 1-14 (IEEE 802.11, 22 MHz wide), category 1,
            detect mode 0 (band power). Slot n is channel n.
  100-105   the six 400 MHz medical telemetry bands as band groups, category 2,
            in group order (the medical window takes group g from slot 100 + g).
  200-1099  the telemetry channels of the six bands. Band g (0-5) has its
            channels in categories 4g+3 (A, 12.5 kHz), 4g+4 (B, 25 kHz),
            4g+5 (C, 50 kHz) and 4g+6 (D, 100 kHz), each category in consecutive
            slots, titled letter + band number + three-digit channel number
            ("A1001"). Centres are kept as whole kHz plus the remaining Hz in the
            fine-frequency field. Detect mode 1 (peak level).
The rest are unused slots.
"""
import os

SLOTS = 1500
WLAN_CATEGORY = 1
GROUP_CATEGORY = 2
GROUP_FIRST_SLOT = 100
TELEMETRY_FIRST_SLOT = 200

# Medical telemetry bands (Hz): first and last 12.5 kHz channel centre.
BANDS = [
    (420_050_000, 421_037_500),
    (424_487_500, 425_975_000),
    (429_250_000, 429_737_500),
    (440_562_500, 441_550_000),
    (444_512_500, 445_500_000),
    (448_675_000, 449_662_500),
]
A_STEP_HZ = 12_500
# Letter, channel width in A channels, span kHz (even), colour.
LETTERS = [
    ("A", 1, 12, (255, 160, 160)),
    ("B", 2, 24, (160, 232, 160)),
    ("C", 4, 50, (160, 176, 255)),
    ("D", 8, 100, (240, 216, 120)),
]
GROUP_COLOR = (200, 200, 232)
WLAN_COLORS = [
    (255, 96, 96), (255, 176, 64), (224, 224, 64), (96, 208, 96), (64, 192, 224),
    (112, 128, 255), (200, 112, 232),
]


def used(title, centre_hz, span_khz, color, category, detect):
    khz, fine = divmod(centre_hz, 1000)
    r, g, b = color
    return f"{title},{khz},{span_khz},{r},{g},{b},{category},{detect},{fine},0"


def main():
    lines = ["NotEntry"] * SLOTS

    for n in range(1, 15):
        centre = 2_484_000 if n == 14 else 2_412_000 + 5_000 * (n - 1)
        color = WLAN_COLORS[(n - 1) % len(WLAN_COLORS)]
        lines[n] = used(f"CH{n}", centre * 1000, 22_000, color, WLAN_CATEGORY, 0)

    slot = TELEMETRY_FIRST_SLOT
    for g, (first, last) in enumerate(BANDS):
        count_a = (last - first) // A_STEP_HZ + 1
        low = first - A_STEP_HZ // 2
        high = last + A_STEP_HZ // 2
        lines[GROUP_FIRST_SLOT + g] = used(
            f"BAND{g + 1}", (low + high) // 2, (high - low) // 1000, GROUP_COLOR,
            GROUP_CATEGORY, 0)
        for k, (letter, width, span, color) in enumerate(LETTERS):
            category = 4 * g + 3 + k
            for n in range(count_a // width):
                # The channel covers A channels n*width … n*width + width - 1.
                centre = low + (n * width) * A_STEP_HZ + width * A_STEP_HZ // 2
                title = "%s%d%03d" % (letter, g + 1, n + 1)
                lines[slot] = used(title, centre, span, color, category, 1)
                slot += 1
    assert slot <= SLOTS

    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources",
                        "TorvelList.txt")
    with open(path, "w", encoding="ascii", newline="") as f:
        for i, text in enumerate(lines):
            f.write("[%04d]:%s\r\n" % (i, text))


if __name__ == "__main__":
    main()
