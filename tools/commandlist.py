#!/usr/bin/env python3
"""Writes the command list into the string table, lines 100 up to END_LIST.

Each entry: list, caption, menu type (0 command, 1 separator, 2 pop-up), level,
check state, action, p1..p5. Run after editing the tables below.
"""
import os
import subprocess
import sys

E = []


def entry(lst, caption, mtype=0, level=0, check=0, action=0, *p):
    p = list(p) + [0] * (5 - len(p))
    return f"{lst},{caption},{mtype},{level},{check},{action}," + ",".join(str(v) for v in p)


def add(lst, caption, mtype=0, level=0, check=0, action=0, *p):
    E.append(entry(lst, caption, mtype, level, check, action, *p))


def copy_list(src, dst):
    """The entries of list src, renamed to dst."""
    return [dst + e[len(src):] for e in E if e.startswith(src + ",")]


def before_help(body, lst, menu):
    """body with menu inserted before its Help pop-up."""
    at = body.index(lst + ",&Help,2,0,0,0,0,0,0,0,0")
    return body[:at] + menu + body[at:]


def popup(lst, caption, level=0):
    add(lst, caption, 2, level)


def sep(lst, level=1):
    add(lst, "", 1, level)


KINDS = [(1, "&Normal Spectrum"), (2, "&WLAN"), (3, "&Zero Span"), (4, "&Semi Real Time"),
         (5, "&Real Time"), (6, "&Medical Monitor"), (7, "&XPD Isolation")]

# ---- Main frame menu and buttons (no analysis window active)
M = "MAIN_FRAME"
popup(M, "&File")
add(M, "&Open Settings...\tCtrl+O", 0, 1, 0, 6)
add(M, "Open &CSV Data...", 0, 1, 0, 12)
sep(M)
add(M, "Print Set&up...", 0, 1, 0, 4)
sep(M)
add(M, "E&xit", 0, 1, 0, 1)
popup(M, "&Analysis")
for kind, caption in KINDS:
    add(M, caption, 0, 1, 0, 5, kind, 1)
popup(M, "O&utput")
add(M, "Save &CSV", 0, 1, 0, 10, 1)
add(M, "Save &BMP", 0, 1, 0, 10, 2)
add(M, "Save &PNG", 0, 1, 0, 10, 3)
# The remote-control server's dialog (action 60) and the publishing dialog (61),
# in every Options menu.
popup(M, "&Options")
add(M, "Reopen &Windows at Start", 0, 1, 0, 55)
add(M, "&Remote Control...", 0, 1, 0, 60)
add(M, "&Publishing...", 0, 1, 0, 61)
add(M, "&Device...", 0, 1, 0, 58)
popup(M, "&Window")
add(M, "&Cascade", 0, 1, 0, 15, 1)
add(M, "Tile &Vertically", 0, 1, 0, 15, 2)
add(M, "Tile &Horizontally", 0, 1, 0, 15, 3)
add(M, "&Arrange Icons", 0, 1, 0, 15, 4)
popup(M, "&Help")
add(M, "&Help Topics", 0, 1, 0, 3)
add(M, "&About Torvel...", 0, 1, 0, 2)

B = "MAIN_BUTTON"
add(B, "Normal Spectrum", 0, 0, 2, 5, 1, 1)
add(B, "WLAN Analysis", 0, 0, 2, 5, 2, 1)
add(B, "Zero Span", 0, 0, 2, 5, 3, 1)
add(B, "SemiReal Time", 0, 0, 2, 5, 4, 1)
add(B, "Real Time", 0, 0, 2, 5, 5, 1)
add(B, "Medical Monitor", 0, 0, 2, 5, 6, 1)
add(B, "XPD Isolation", 0, 0, 2, 5, 7, 1)
add(B, "Open Settings", 0, 0, 2, 6)
add(B, "Open CSV", 0, 0, 2, 12)
add(B, "Exit", 0, 0, 2, 1)

# ---- Normal spectrum window, variant 1
N = "NORMAL_FRAME_1"
popup(N, "&File")
popup(N, "&New Window", 1)
for kind, caption in KINDS:
    add(N, caption, 0, 2, 0, 5, kind, 1)
add(N, "&Open Settings...\tCtrl+O", 0, 1, 0, 6)
add(N, "Open &CSV Data...", 0, 1, 0, 12)
add(N, "&Save Window Settings...", 0, 1, 0, 8)
add(N, "&Load Window Settings...", 0, 1, 0, 9)
add(N, "Save &Data...", 0, 1, 0, 11)
sep(N)
add(N, "&Print...", 0, 1, 0, 7)
add(N, "Print Set&up...", 0, 1, 0, 4)
add(N, "Cop&y Screen", 0, 1, 0, 13)
sep(N)
add(N, "E&xit", 0, 1, 0, 1)
popup(N, "&Analysis")
add(N, "&Run / Stop\tF1", 0, 1, 0, 16)
sep(N)
add(N, "&Start Frequency...", 0, 1, 0, 19)
add(N, "S&top Frequency...", 0, 1, 0, 20)
add(N, "&Centre Frequency...", 0, 1, 0, 21)
add(N, "S&pan...", 0, 1, 0, 23)
popup(N, "Span Pr&eset", 1)
for span, caption in [(1000, "1 MHz"), (10000, "10 MHz"), (100000, "100 MHz"), (1000000, "1 GHz")]:
    add(N, caption, 0, 2, 0, 22, span)
popup(N, "&Band", 1)
add(N, "Full Range", 0, 2, 0, 103, 1000, 3000000, 1, 30)
add(N, "2.4 GHz WLAN", 0, 2, 0, 104, 2442000, 100000, 1, 30)
add(N, "430 MHz Telemetry", 0, 2, 0, 104, 430000, 20000, 1, 30)
add(N, "FM Broadcast", 0, 2, 0, 103, 76000, 108000, 1, 30)
add(N, "Shift &Down 50%", 0, 1, 0, 101, 50)
add(N, "Shift &Up 50%", 0, 1, 0, 102, 50)
sep(N)
# The menu names each index by its bandwidth from the device when it opens.
popup(N, "RB&W", 1)
for i in range(14):
    add(N, f"RBW Index {i}", 0, 2, 0, 24, i)
popup(N, "Attenuat&or", 1)
for att in range(0, 55, 10):
    add(N, f"{att} dB", 0, 2, 0, 17, att)
add(N, "Reference &Level...", 0, 1, 0, 18)
popup(N, "Sc&ale", 1)
add(N, "10 dB/div", 0, 2, 0, 31, 1)
add(N, "5 dB/div", 0, 2, 0, 31, 2)
add(N, "2 dB/div", 0, 2, 0, 31, 3)
popup(N, "Re&ference Position", 1)
for r in range(10, -1, -1):
    add(N, f"Division {r}", 0, 2, 0, 33, r)
popup(N, "U&nit", 1)
add(N, "dBm", 0, 2, 0, 32, 1)
add(N, "dBuV (113 dB)", 0, 2, 0, 32, 2)
add(N, "dBuV (107 dB)", 0, 2, 0, 32, 3)
sep(N)
add(N, "&Max Hold", 0, 1, 0, 25)
add(N, "M&in Hold", 0, 1, 0, 26)
popup(N, "&Marker")
for k in range(1, 6):
    add(N, f"Marker &{k}", 0, 1, 0, 34, k)
sep(N)
add(N, "Marker &Frequency...", 0, 1, 0, 35)
add(N, "&Peak Search", 0, 1, 0, 36)
add(N, "&Next Peak", 0, 1, 0, 37)
popup(N, "Peak &Hold", 1)
for k, caption in [(0, "Off"), (1, "Peak 1"), (2, "Peak 2"), (3, "Peak 3"), (4, "Peak 4")]:
    add(N, caption, 0, 2, 0, 38, k)
popup(N, "&Delta", 1)
for k, caption in [(0, "Off"), (1, "Difference"), (2, "Band Power"), (3, "Band")]:
    add(N, caption, 0, 2, 0, 39, k)
popup(N, "&Select", 1)
add(N, "Main Point", 0, 2, 0, 40, 1)
add(N, "Child Point", 0, 2, 0, 40, 2)
popup(N, "S&tyle", 1)
add(N, "Line", 0, 2, 0, 41, 1)
add(N, "Symbol", 0, 2, 0, 41, 2)
add(N, "&Centre on Marker", 0, 1, 0, 42)
popup(N, "&Trace")
for k in range(1, 6):
    add(N, f"Trace &{k}", 0, 1, 0, 47, k)
sep(N)
add(N, "&Write", 0, 1, 0, 48, 1)
add(N, "&Max Hold", 0, 1, 0, 48, 2)
add(N, "M&in Hold", 0, 1, 0, 48, 3)
add(N, "&View", 0, 1, 0, 48, 4)
popup(N, "&Options")
add(N, "&Screen...", 0, 1, 0, 43)
add(N, "&Analysis...", 0, 1, 0, 44)
add(N, "&Logging...", 0, 1, 0, 45)
add(N, "Level &Offset...", 0, 1, 0, 46)
add(N, "Reopen &Windows at Start", 0, 1, 0, 55)  # the windows open at exit come back
popup(N, "&Colour", 1)
add(N, "Colour", 0, 2, 0, 14, 1)
add(N, "Grey Scale", 0, 2, 0, 14, 2)
popup(N, "Logging &Trigger", 1)
add(N, "Off", 0, 2, 0, 49, 0)
add(N, "Above Line", 0, 2, 0, 49, 1)
sep(N)
add(N, "&Remote Control...", 0, 1, 0, 60)
add(N, "&Publishing...", 0, 1, 0, 61)
add(N, "&Device...", 0, 1, 0, 58)
popup(N, "O&utput")
add(N, "Save &CSV", 0, 1, 0, 10, 1)
add(N, "Save &BMP", 0, 1, 0, 10, 2)
add(N, "Save &PNG", 0, 1, 0, 10, 3)
popup(N, "&Window")
# Close the active window (action 76) and activate the next one (77); a
# caption's shortcuts after its tab are separated by "; ".
add(N, "Cl&ose\tCtrl+F4; Ctrl+W", 0, 1, 0, 76)
add(N, "&Next Window\tCtrl+F6; Ctrl+Tab", 0, 1, 0, 77)
sep(N)
add(N, "&Cascade", 0, 1, 0, 15, 1)
add(N, "Tile &Vertically", 0, 1, 0, 15, 2)
add(N, "Tile &Horizontally", 0, 1, 0, 15, 3)
add(N, "&Arrange Icons", 0, 1, 0, 15, 4)
popup(N, "&Help")
add(N, "&Help Topics", 0, 1, 0, 3)
add(N, "&About Torvel...", 0, 1, 0, 2)

NB = "NORMAL_BUTTON_1"
# page 1
add(NB, "Run Stop", 0, 0, 0, 16)
add(NB, "Start Freq", 0, 0, 2, 19)
add(NB, "Stop Freq", 0, 0, 2, 20)
add(NB, "Centre Freq", 0, 0, 2, 21)
add(NB, "Span", 0, 0, 2, 23)
add(NB, "Ref Level", 0, 0, 2, 18)
add(NB, "Max Hold", 0, 0, 0, 25)
add(NB, "Min Hold", 0, 0, 0, 26)
add(NB, "Peak Search", 0, 0, 2, 36)
add(NB, "More >>", 0, 0, 2, 28)
# page 2
add(NB, "Marker 1", 0, 0, 0, 34, 1)
add(NB, "Marker 2", 0, 0, 0, 34, 2)
add(NB, "Marker 3", 0, 0, 0, 34, 3)
add(NB, "Next Peak", 0, 0, 2, 37)
add(NB, "Marker Centre", 0, 0, 2, 42)
add(NB, "Trace 1", 0, 0, 0, 47, 1)
add(NB, "Trace 2", 0, 0, 0, 47, 2)
add(NB, "Save Data", 0, 0, 2, 11)
add(NB, "Logging ...", 0, 0, 2, 45)
add(NB, "<< Back", 0, 0, 2, 29)

# ---- WLAN window, variant 1: the normal window's menu with a channel menu
# before Help, and the normal window's buttons.
W = "WLAN_FRAME_1"
channel_menu = []


def chan(*args):
    channel_menu.append(entry(W, *args))


chan("&Channel", 2, 0)
chan("&Whole Band", 0, 1, 0, 155, -1)
chan("", 1, 1)
for n in range(1, 15):
    chan(f"CH{n} on Panel", 0, 1, 0, 151, n)
chan("", 1, 1)
chan("Channel &Colour", 2, 1)
for n in range(1, 15):
    chan(f"CH{n}...", 0, 2, 0, 152, n)
chan("WLAN Category Colour...", 0, 1, 0, 154, 1)
chan("Remove WLAN Channels", 0, 1, 0, 153, 1)
chan("Clear Panel", 0, 1, 0, 153, -1)
E += before_help(copy_list(N, W), W, channel_menu)
E += copy_list(NB, "WLAN_BUTTON_1")

# ---- XPD window, variant 1: the normal window's menu with an XPD menu
# before Help, and the normal window's buttons with the alarm commands.
X = "XPD_FRAME_1"
xpd_menu = []


def xpd(*args):
    xpd_menu.append(entry(X, *args))


xpd("&XPD", 2, 0)
xpd("&Alarm Value...", 0, 1, 0, 401)
xpd("&Detect Level...", 0, 1, 0, 404)
xpd("", 1, 1)
xpd("&Save Alarm Log...", 0, 1, 0, 402)
xpd("&Clear Alarm Log", 0, 1, 0, 403)
xpd("", 1, 1)
xpd("&Y-Axis Offset", 2, 1)
xpd("Offset...", 0, 2, 0, 405)
for off in (-40, -20, -10, 10, 20, 40):
    xpd(f"{off:+d} dB", 0, 2, 0, 406, off)
E += before_help(copy_list(N, X), X, xpd_menu)
XB = "XPD_BUTTON_1"
xpd_buttons = copy_list(NB, XB)
# The second page's last buttons before "<< Back" become the alarm commands.
back = xpd_buttons.index(XB + ",<< Back,0,0,2,29,0,0,0,0,0")
xpd_buttons[back - 3:back - 1] = [XB + ",Alarm Value,0,0,2,401,0,0,0,0,0",
                                  XB + ",Save Alarm Log,0,0,2,402,0,0,0,0,0"]
E += xpd_buttons
# ---- Spectrogram windows, variant 1: the normal window's menu with a
# spectrogram menu (and channels or the trigger) before Help.
def spectrogram_menu(lst, slices, chunk_presets, extra):
    menu = []

    def m(*args):
        menu.append(entry(lst, *args))

    # The top pane shows the 3D graph or the colour waterfall of the ring.
    m("&View", 2, 0)
    m("&3D Graph", 0, 1, 0, 208, 0)
    m("&Waterfall", 0, 1, 0, 208, 1)
    m("S&pectrogram", 2, 0)
    m("&Slice Position...", 0, 1, 0, 201)
    m("&Chunk Frequency...", 0, 1, 0, 202)
    m("", 1, 1)
    m("Newest Slice", 0, 1, 0, 203, 0)
    m("Middle Slice", 0, 1, 0, 203, slices // 2)
    m("Oldest Slice", 0, 1, 0, 203, slices - 1)
    m("", 1, 1)
    for kHz, caption in chunk_presets:
        m(caption, 0, 1, 0, 204, kHz)
    for item in extra:
        m(*item)
    return before_help(copy_list(N, lst), lst, menu)


S = "SEMIREAL_FRAME_1"
semi_extra = [("&Channel", 2, 0)]
for n in range(100, 106):
    semi_extra.append((f"BAND{n - 99} on Graph", 0, 1, 0, 205, n))
for n in (1, 6, 11):
    semi_extra.append((f"CH{n} on Graph", 0, 1, 0, 205, n))
semi_extra.append(("", 1, 1))
semi_extra.append(("Channel &Colour", 2, 1))
for n in range(100, 106):
    semi_extra.append((f"BAND{n - 99}...", 0, 2, 0, 206, n))
semi_extra.append(("Remove Telemetry Bands", 0, 1, 0, 207, 2))
semi_extra.append(("Remove WLAN Channels", 0, 1, 0, 207, 1))
E += spectrogram_menu(S, 100, [(1100000, "Chunk at 1100 MHz"), (433920, "Chunk at 433.92 MHz")],
                      semi_extra)
# The semi-real-time stream may hand the device on after each batch.
E.insert(E.index(S + ",Level &Offset...,0,1,0,46,0,0,0,0,0") + 1,
         entry(S, "&Hand the Device On after Each Batch", 0, 1, 0, 54))
SB = "SEMIREAL_BUTTON_1"
for caption, check, action, *p in [
        ("Run Stop", 0, 16), ("Centre Freq", 2, 21), ("Ref Level", 2, 18), ("Slice Pos", 2, 201),
        ("Chunk Freq", 2, 202), ("Newest Slice", 2, 203, 0), ("Oldest Slice", 2, 203, 99),
        ("Waterfall", 0, 208, 2), ("Peak Search", 2, 36), ("More >>", 2, 28),
        ("Marker 1", 0, 34, 1), ("Next Peak", 2, 37), ("10 dB/div", 0, 31, 1), ("5 dB/div", 0, 31, 2),
        ("BAND1", 0, 205, 100), ("BAND4", 0, 205, 103), ("Save Data", 2, 11), ("Logging ...", 2, 45),
        ("Copy Screen", 2, 13), ("<< Back", 2, 29)]:
    add(SB, caption, 0, 0, check, action, *p)

R = "REALTIME_FRAME_1"
real_extra = [("T&rigger", 2, 0),
              ("&Free Run", 0, 1, 0, 301, 0),
              ("Level Trigger (R&ising)", 0, 1, 0, 301, 1),
              ("Level Trigger (F&alling)", 0, 1, 0, 301, 2),
              ("Trigger &Level", 2, 1)]
for level in (500, 1000, 2000, 3000):
    real_extra.append((f"{level // 100} dB above Noise", 0, 2, 0, 302, level))
real_extra.append(("", 1, 1))
real_extra.append(("&Single Capture", 0, 1, 0, 303, 0))
real_extra.append(("&Repeated Captures", 0, 1, 0, 303, 1))
real_extra.append(("Trigger &Position", 2, 1))
for pos in (0, 4, 64, 128, 255):
    real_extra.append((f"Block {pos}", 0, 2, 0, 304, pos))
E += spectrogram_menu(R, 256, [(433920, "Chunk at 433.92 MHz")], real_extra)
RB = "REALTIME_BUTTON_1"
for caption, check, action, *p in [
        ("Run Stop", 0, 16), ("Centre Freq", 2, 21), ("Ref Level", 2, 18), ("Free Run", 0, 301, 0),
        ("Level Trig", 0, 301, 1), ("Single", 0, 303, 0), ("Repeat", 0, 303, 1),
        ("Slice Pos", 2, 201), ("Waterfall", 0, 208, 2), ("More >>", 2, 28),
        ("Trig 10 dB", 0, 302, 1000), ("Trig 20 dB", 0, 302, 2000), ("Pos 4", 0, 304, 4),
        ("Chunk Freq", 2, 202), ("Newest Slice", 2, 203, 0), ("Oldest Slice", 2, 203, 255),
        ("Peak Search", 2, 36), ("Save Data", 2, 11), ("Copy Screen", 2, 13), ("<< Back", 2, 29)]:
    add(RB, caption, 0, 0, check, action, *p)
# ---- Zero-span window, variant 1: the normal window's menu without the span
# commands, with a time menu before Help; buttons of its own.
Z = "ZEROSPAN_FRAME_1"
time_menu = []


def zt(*args):
    time_menu.append(entry(Z, *args))


zt("T&ime", 2, 0)
zt("&Time Analysis", 0, 1, 0, 251)
zt("", 1, 1)
zt("Time &Span", 2, 1)
for ms, caption in [(10, "10 ms"), (100, "100 ms"), (500, "500 ms"), (1000, "1 s"), (5000, "5 s"),
                    (10000, "10 s"), (50000, "50 s")]:
    zt(caption, 0, 2, 0, 252, ms)
zt("Trigger T&ype", 2, 1)
zt("Free Run", 0, 2, 0, 253, 0)
zt("Rising Above Line", 0, 2, 0, 253, 1)
zt("Falling Below Line", 0, 2, 0, 253, 2)
zt("Trigger &Mode", 2, 1)
zt("Single", 0, 2, 0, 254, 0)
zt("Repeat", 0, 2, 0, 254, 1)
zt("Trigger &Position", 2, 1)
for pos in [0, 10, 25, 50, 75, 90, 100]:
    zt(f"{pos} %", 0, 2, 0, 255, pos)
zt("Time &Axis", 2, 1)
for us, caption in [(10000, "0 - 10 ms"), (100000, "0 - 100 ms"), (1000000, "0 - 1 s"),
                    (5000000, "0 - 5 s"), (10000000, "0 - 10 s"), (50000000, "0 - 50 s")]:
    zt(caption, 0, 2, 0, 256, 0, us)
zt("", 1, 1)
zt("A&ccumulate", 2, 1)
zt("Single Bin", 0, 2, 0, 257, 0)
zt("Band Power", 0, 2, 0, 257, 1)
zt("&Bin", 2, 1)
for b in [48, 52, 56]:
    zt(f"Main Point to Bin {b}", 0, 2, 0, 258, 0, b)
for b in [48, 52, 56]:
    zt(f"Child Point to Bin {b}", 0, 2, 0, 258, 1, b)
span_popup = N + ",Span Pr&eset,2,1,0,0,0,0,0,0,0"
zs = []
skip_level = None
for e in E:
    if not e.startswith(N + ","):
        continue
    fields = e.split(",")
    level, action = int(fields[3]), int(fields[5])
    if skip_level is not None and level > skip_level:
        continue
    skip_level = None
    if e == span_popup:
        skip_level = level
        continue
    # Span and centre-on-marker commands have no meaning with a fixed span
    # and time markers; the time lines are Trace1 and Trace2.
    if action in (23, 42) or (action == 47 and int(fields[6]) > 2):
        continue
    zs.append(Z + e[len(N):])
E += before_help(zs, Z, time_menu)
ZB = "ZEROSPAN_BUTTON_1"
# page 1
add(ZB, "Run Stop", 0, 0, 0, 16)
add(ZB, "Time Analysis", 0, 0, 0, 251)
add(ZB, "Centre Freq", 0, 0, 2, 21)
add(ZB, "Ref Level", 0, 0, 2, 18)
add(ZB, "Free Run", 0, 0, 0, 253, 0)
add(ZB, "Trigger Rise", 0, 0, 0, 253, 1)
add(ZB, "Single", 0, 0, 0, 254, 0)
add(ZB, "Repeat", 0, 0, 0, 254, 1)
add(ZB, "Band Power", 0, 0, 0, 257, 1)
add(ZB, "More >>", 0, 0, 2, 28)
# page 2
add(ZB, "Span 1 s", 0, 0, 0, 252, 1000)
add(ZB, "Span 5 s", 0, 0, 0, 252, 5000)
add(ZB, "Span 50 s", 0, 0, 0, 252, 50000)
add(ZB, "Marker 1", 0, 0, 0, 34, 1)
add(ZB, "Marker 2", 0, 0, 0, 34, 2)
add(ZB, "Peak Search", 0, 0, 2, 36)
add(ZB, "Single Bin", 0, 0, 0, 257, 0)
add(ZB, "Save Data", 0, 0, 2, 11)
add(ZB, "Logging ...", 0, 0, 2, 45)
add(ZB, "<< Back", 0, 0, 2, 29)
# ---- Medical window, variant 1: the normal window's menu with a medical
# menu before Help, its own buttons, and the three pop-ups of the channel panel.
MF = "MEDICAL_FRAME_1"
medical_menu = []


def med(*args):
    medical_menu.append(entry(*args))


BANDS = [f"BAND{n}" for n in range(1, 7)]
med(MF, "M&edical", 2, 0)
med(MF, "Channel by &Number...", 0, 1, 0, 168)
med(MF, "Channel by &Frequency...", 0, 1, 0, 169)
med(MF, "&Letter", 2, 1)
for i, letter in enumerate("ABCD"):
    med(MF, f"Letter {letter}", 0, 2, 0, 165, i)
med(MF, "&Group", 2, 1)
for i, band in enumerate(BANDS):
    med(MF, f"Group {i + 1} ({band})", 0, 2, 0, 166, i)
med(MF, "", 1, 1)
med(MF, "Band &Zoom", 2, 1)
med(MF, "Whole Band", 0, 2, 0, 161, -1)
for i, band in enumerate(BANDS):
    med(MF, band, 0, 2, 0, 161, i)
med(MF, "Band &Width", 2, 1)
for bw in (1, 2, 5, 10, 20, 40):
    med(MF, f"+/- {bw} kHz", 0, 2, 0, 163, bw)
med(MF, "Other...", 0, 2, 0, 163, 0, 1)
med(MF, "&Y Axis Offset", 2, 1)
for off in (0, 10, 20, -10, -20):
    med(MF, f"{off:+d} dB", 0, 2, 0, 162, off)
med(MF, "Other...", 0, 2, 0, 162, 0, 1)
med(MF, "&Show Bands", 0, 1, 0, 164, 1)
med(MF, "&Hide Bands", 0, 1, 0, 164, 0)
med(MF, "Band &Colour", 2, 1)
for i, band in enumerate(BANDS):
    med(MF, f"{band}...", 0, 2, 0, 167, i + 1)
med(MF, "", 1, 1)
med(MF, "&Alarm", 2, 1)
med(MF, "Off", 0, 2, 0, 170, 0)
med(MF, "Above Line", 0, 2, 0, 170, 1)
med(MF, "Below Line", 0, 2, 0, 170, 2)
med(MF, "Show L&og", 0, 1, 0, 173)
E += before_help(copy_list(N, MF), MF, medical_menu)

MB = "MEDICAL_BUTTON_1"
# page 1
add(MB, "Run Stop", 0, 0, 0, 16)
add(MB, "Channel No.", 0, 0, 2, 168)
add(MB, "Channel Freq", 0, 0, 2, 169)
add(MB, "Ref Level", 0, 0, 2, 18)
add(MB, "Alarm High", 0, 0, 0, 170, 1)
add(MB, "Alarm Low", 0, 0, 0, 170, 2)
add(MB, "Alarm Off", 0, 0, 0, 170, 0)
add(MB, "Peak Search", 0, 0, 2, 36)
add(MB, "Band Width", 0, 0, 2, 163, 0, 1)
add(MB, "More >>", 0, 0, 2, 28)
# page 2
add(MB, "Marker 1", 0, 0, 0, 34, 1)
add(MB, "Marker 4", 0, 0, 0, 34, 4)
add(MB, "Next Peak", 0, 0, 2, 37)
add(MB, "Y Offset", 0, 0, 2, 162, 0, 1)
add(MB, "Show Bands", 0, 0, 0, 164, 1)
add(MB, "Hide Bands", 0, 0, 0, 164, 0)
add(MB, "Show Log", 0, 0, 2, 173)
add(MB, "Save Data", 0, 0, 2, 11)
add(MB, "Logging ...", 0, 0, 2, 45)
add(MB, "<< Back", 0, 0, 2, 29)

P0 = "MEDICAL_POPUP0_1"
for i, letter in enumerate("ABCD"):
    add(P0, f"Letter {letter}", 0, 0, 0, 165, i)
sep(P0, 0)
for i, band in enumerate(BANDS):
    add(P0, f"Group {i + 1} ({band})", 0, 0, 0, 166, i)
P1 = "MEDICAL_POPUP1_1"
add(P1, "Select Channel", 0, 0, 0, 171)
add(P1, "Channel Colour...", 0, 0, 0, 172)
P2 = "MEDICAL_POPUP2_1"
add(P2, "Channel by Number...", 0, 0, 0, 168)
add(P2, "Channel by Frequency...", 0, 0, 0, 169)
sep(P2, 0)
add(P2, "Show Bands", 0, 0, 0, 164, 1)
add(P2, "Hide Bands", 0, 0, 0, 164, 0)
popup(P2, "Band Colour")
for i, band in enumerate(BANDS):
    add(P2, f"{band}...", 0, 1, 0, 167, i + 1)

# ---- The normal window alone gets a View menu with its sweep history pane
# (the other kinds copy the normal menu above, before this is added).
normal_view = [entry(N, "&View", 2, 0), entry(N, "&Waterfall", 0, 1, 0, 110)]
at = E.index(N + ",&Options,2,0,0,0,0,0,0,0,0")
E[at:at] = normal_view

E.append("END_LIST")

here = os.path.dirname(os.path.abspath(__file__))
args = []
for i, line in enumerate(E):
    args += [str(100 + i), line]
subprocess.run([sys.executable, os.path.join(here, "settext.py")] + args, check=True)
print(f"{len(E)} lines from 100 to {99 + len(E)}")
