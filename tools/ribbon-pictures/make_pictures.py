#!/usr/bin/python3
"""Draws the ribbon bar's pictures: 40 GIF89a pictures for each of the three
themes (BLACK, BLUE, SILVER) and the program logo (PNG).

Run from anywhere:  /usr/bin/python3 tools/ribbon-pictures/make_pictures.py
Output goes to src/ribbon/pictures/<THEME>/<ID>.gif and src/ribbon/pictures/logo*.png.

Everything is drawn 4x larger and scaled down for smooth edges. Pictures are
opaque and already composed on the bar colours behind them (their place in the
bar is fixed), which keeps antialiased edges clean in a 1-bit-transparency GIF.
"""
import os
import sys
from PIL import Image, ImageDraw, ImageChops

S = 4  # supersampling factor
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OUT = os.path.join(ROOT, "src", "ribbon", "pictures")

# Vertical places of the elements in the bar (pixels); the control uses the same.
TAB_TOP = 26          # tab pictures, 24 high
CAT_TOP = 52          # category frames, 89 high
BUTTON_TOP = CAT_TOP + 4
BAND_TOP = 70         # caption band inside a category frame
BAR_H = 142


def rgb(s):
    s = s.lstrip("#")
    return tuple(int(s[i:i + 2], 16) for i in (0, 2, 4))


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def ramp(n, *stops):
    """n colours from a list of hex stops spread evenly."""
    cols = [rgb(s) for s in stops]
    if n == 1:
        return [cols[0]]
    out = []
    for y in range(n):
        t = y / (n - 1) * (len(cols) - 1)
        i = min(int(t), len(cols) - 2)
        out.append(mix(cols[i], cols[i + 1], t - i))
    return out


def rows_image(w, rows):
    im = Image.new("RGB", (w, len(rows)))
    px = im.load()
    for y, c in enumerate(rows):
        for x in range(w):
            px[x, y] = c
    return im


def rrect_mask(w, h, box, r, open_top=False, open_bottom=False):
    """Antialiased mask of a rounded rectangle (box in pixels, end exclusive)."""
    pad = (r + 2) * S
    big = Image.new("L", (w * S, h * S + 2 * pad), 0)
    d = ImageDraw.Draw(big)
    x0, y0, x1, y1 = box
    ty0 = y0 * S + pad if not open_top else 0
    ty1 = y1 * S + pad - 1 if not open_bottom else h * S + 2 * pad - 1
    d.rounded_rectangle([x0 * S, ty0, x1 * S - 1, ty1], radius=r * S, fill=255)
    big = big.crop((0, pad, w * S, pad + h * S))
    return big.resize((w, h), Image.BOX)


def glyph_mask(w, h, draw_fn):
    big = Image.new("L", (w * S, h * S), 0)
    draw_fn(ImageDraw.Draw(big), S)
    return big.resize((w, h), Image.BOX)


def scaled(mask, f):
    return mask.point(lambda v: int(v * f))


def paint(base, fill, mask):
    if isinstance(fill, tuple):
        fill = Image.new("RGB", base.size, fill)
    base.paste(fill, (0, 0), mask)


def column(im, x, width):
    """Stretchable centre piece: one column of a drawn element, repeated."""
    col = im.crop((x, 0, x + 1, im.height))
    return col.resize((width, im.height), Image.NEAREST)


# ---------------------------------------------------------------- themes
THEMES = {
    "BLUE": dict(
        frame="#6B8FC4", title=("#E6F0FC", "#D3E3F7", "#CADDF5"), title_hl="#F4F8FE",
        tabrow=("#C8DCF4", "#BED6F2"), line="#8DB2E3",
        body=("#DFEAF8", "#D5E4F6", "#C4D9F1"), bottom="#8DB2E3",
        band_fill=("#DCE8F8", "#C9DCF3"), band_border="#A4C0E6", band_hl="#F2F7FD",
        cat_border="#A3C0E6", cat_body=("#EAF2FC", "#D9E7F8", "#D2E2F6"),
        cat_band=("#C6DAF3", "#B6CEEE"), cat_sep="#A9C4E8",
        cat_border_on="#86AADF", cat_body_on=("#F7FBFF", "#E6F0FC", "#DCE9F9"),
        cat_band_on=("#D3E5F8", "#C3D9F4"),
        tab_sel_border="#8DB2E3", tab_sel=("#FFFFFF", "#F0F6FD", "#DFEAF8"),
        tab_hov_border="#A6C3EA", tab_hov=("#F6FAFF", "#E2EEFB", "#D6E6F9"),
        glyph="#3E5F8F", glyph_hover="#1F3F6F", cat_text="#3E6AB8",
        orb=("#8DB8EE", "#3A70BE", "#173F7E"), orb_border="#21477F",
    ),
    "SILVER": dict(
        frame="#8E96A1", title=("#F5F6F8", "#E7EAEE", "#E0E4E9"), title_hl="#FFFFFF",
        tabrow=("#DDE1E7", "#D5DAE1"), line="#A7AEB8",
        body=("#F3F4F6", "#E9EBEE", "#DADDE2"), bottom="#A7AEB8",
        band_fill=("#EEF0F3", "#DEE2E7"), band_border="#B4BBC5", band_hl="#FFFFFF",
        cat_border="#B5BCC6", cat_body=("#FAFBFC", "#EEF0F3", "#E8EBEE"),
        cat_band=("#DADEE4", "#CDD2D9"), cat_sep="#BCC2CB",
        cat_border_on="#9EA6B1", cat_body_on=("#FFFFFF", "#F6F7F9", "#EFF1F4"),
        cat_band_on=("#E4E8EC", "#D8DCE2"),
        tab_sel_border="#A7AEB8", tab_sel=("#FFFFFF", "#FAFAFB", "#F3F4F6"),
        tab_hov_border="#BCC3CC", tab_hov=("#FFFFFF", "#F0F2F5", "#E6E9ED"),
        glyph="#535A63", glyph_hover="#2F343A", cat_text="#5C626A",
        orb=("#D9DEE5", "#8D98A7", "#56606E"), orb_border="#4B5461",
    ),
    "BLACK": dict(
        frame="#0B0B0B", title=("#4A4A4A", "#363636", "#2C2C2C"), title_hl="#5E5E5E",
        tabrow=("#2A2A2A", "#1E1E1E"), line="#101010",
        body=("#EDEDED", "#DEDEDE", "#CDCDCD"), bottom="#6E6E6E",
        band_fill=("#505050", "#3C3C3C"), band_border="#1C1C1C", band_hl="#676767",
        cat_border="#A9A9A9", cat_body=("#F7F7F7", "#E9E9E9", "#E1E1E1"),
        cat_band=("#767676", "#5C5C5C"), cat_sep="#8C8C8C",
        cat_border_on="#8E8E8E", cat_body_on=("#FFFFFF", "#F4F4F4", "#ECECEC"),
        cat_band_on=("#858585", "#6A6A6A"),
        tab_sel_border="#0E0E0E", tab_sel=("#FAFAFA", "#F2F2F2", "#EDEDED"),
        tab_hov_border="#6A6A6A", tab_hov=("#6A6A6A", "#4C4C4C", "#3A3A3A"),
        glyph="#E2E2E2", glyph_hover="#FFFFFF", cat_text="#FFFFFF",
        orb=("#8A8A8A", "#3C3C3C", "#0E0E0E"), orb_border="#000000",
    ),
}

# The warm hover and pressed colours are shared by all themes, as in the office suites.
HOT = dict(border="#DDC07A", fill=("#FFFCE6", "#FFF0B8", "#FFDB6E", "#FFE9A6"), hl="#FFFFF4")
PRESSED = dict(border="#C29A52", fill=("#F9D9A0", "#F8C77A", "#F5A843", "#F9CE7C"), hl="#FCE8C0")
RED = dict(border="#9E3A25", fill=("#F2A690", "#E2694B", "#C83C1F", "#D9603F"), hl="#F8C2B3")


def bar_rows(t):
    """The 142 colours of the background strip, top to bottom."""
    rows = [rgb(t["frame"]), rgb(t["title_hl"])]
    rows += ramp(TAB_TOP - 2, *t["title"])
    rows += ramp(23, *t["tabrow"])
    rows.append(rgb(t["line"]))                     # row 49, covered by the selected tab
    rows += ramp(BAR_H - 51, *t["body"])            # rows 50..140
    rows.append(rgb(t["bottom"]))
    assert len(rows) == BAR_H
    return rows


def cat_rows(t, on):
    body = t["cat_body_on"] if on else t["cat_body"]
    band = t["cat_band_on"] if on else t["cat_band"]
    return ramp(BAND_TOP - 1, *body) + [rgb(t["cat_sep"])] + ramp(89 - BAND_TOP - 2, *band) + [rgb(t["cat_sep"])]


def strip(t, w):
    """Quick-access strip: an inset capsule band ending round at the right."""
    bg = rows_image(w, bar_rows(t)[:26])
    outer = rrect_mask(w, 26, (-30, 4, w - 1, 23), 9)
    inner = rrect_mask(w, 26, (-30, 5, w - 2, 22), 8)
    paint(bg, rgb(t["band_border"]), outer)
    paint(bg, rows_image(w, [rgb(t["band_fill"][0])] * 4 + ramp(22, *t["band_fill"])), inner)
    hl = ImageChops.subtract(inner, rrect_mask(w, 26, (-30, 6, w - 2, 22), 8))
    paint(bg, rgb(t["band_hl"]), scaled(hl, 0.8))
    return bg


def framed(base, box, r, style, rows_h, open_bottom=False, hl_alpha=0.85):
    """A rounded frame with border, vertical fill and an inner highlight."""
    w, h = base.size
    x0, y0, x1, y1 = box
    outer = rrect_mask(w, h, box, r, open_bottom=open_bottom)
    inner = rrect_mask(w, h, (x0 + 1, y0 + 1, x1 - 1, y1 - 1), max(r - 1, 0), open_bottom=open_bottom)
    paint(base, rgb(style["border"]), outer)
    fill = ramp(rows_h, *style["fill"])
    fill = [fill[0]] * y0 + fill + [fill[-1]] * (h - y0 - rows_h)
    paint(base, rows_image(w, fill[:h]), inner)
    inner2 = rrect_mask(w, h, (x0 + 2, y0 + 2, x1 - 2, y1 - 2), max(r - 2, 0), open_bottom=open_bottom)
    paint(base, rgb(style["hl"]), scaled(ImageChops.subtract(inner, inner2), hl_alpha))
    return base


# ---------------------------------------------------------------- elements
def window_button(t, kind, hot):
    w, h = 40, 23
    im = rows_image(w, bar_rows(t)[:h])
    col = rgb(t["glyph"])
    if hot:
        style = RED if kind == "end" else HOT
        framed(im, (1, -4, 39, 22), 4, style, 26)
        col = (255, 255, 255) if kind == "end" else rgb("#3B3B3B") if t is THEMES["BLACK"] else rgb(t["glyph_hover"])

    def draw(d, s):
        if kind == "min":
            d.rectangle([15 * s, 13 * s, 25 * s - 1, 15 * s - 1], fill=255)
        elif kind == "max":
            d.rectangle([15 * s, 6 * s, 25 * s - 1, 16 * s - 1], fill=255)
            d.rectangle([16 * s, 8 * s, 24 * s - 1, 15 * s - 1], fill=0)
        else:
            lw = int(1.7 * s)
            d.line([15.5 * s, 6.5 * s, 24.5 * s, 15.5 * s], fill=255, width=lw)
            d.line([15.5 * s, 15.5 * s, 24.5 * s, 6.5 * s], fill=255, width=lw)
    paint(im, col, glyph_mask(w, h, draw))
    if kind == "end":
        frame_column(im, t, w - 1, w - 2)
    return im


def frame_column(im, t, x, inner_x):
    """The window's outer frame line, for pictures that lie on the bar's left or right edge."""
    px = im.load()
    rows = bar_rows(t)
    for y in range(1, im.height):
        px[x, y] = rgb(t["frame"])
        if inner_x is not None and px[inner_x, y] == rows[y]:
            px[inner_x, y] = mix(rows[y], (255, 255, 255), 0.35)


def orb(t, state):
    """Application button: a glossy orb centred on the logo's place."""
    w, h = 49, 45
    im = rows_image(w, bar_rows(t)[:h])
    band = strip(t, 120)
    im.paste(band.crop((30, 0, 49, 26)), (30, 0))
    cx, cy, r = 22, 22, 20

    def circ(rr, dy=0.0):
        return glyph_mask(w, h, lambda d, s: d.ellipse([(cx - rr) * s, (cy - rr + dy) * s, (cx + rr) * s, (cy + rr + dy) * s], fill=255))

    top, mid, low = t["orb"]
    border = t["orb_border"]
    if state == "over":
        glow = circ(r + 2)
        paint(im, rgb("#FFD66B"), scaled(glow, 0.75))
        top, mid, low = rgb_hex_lighter(top), rgb_hex_lighter(mid), rgb_hex_lighter(low)
    elif state == "on":
        top, mid, low = "#FFD9A0", "#F09A3A", "#A9520F"
        border = "#7A3A08"
    paint(im, rgb(border), circ(r))
    body = rows_image(w, [rgb(top)] * 3 + ramp(40, top, mid, low) + [rgb(low)] * 2)
    paint(im, body, circ(r - 1))
    # bright rim at the bottom and a glossy cap on the upper half
    rim = ImageChops.subtract(circ(r - 1), circ(r - 3, -2))
    paint(im, rgb("#FFFFFF"), scaled(rim, 0.35))
    frame_column(im, t, 0, 1)
    gloss = glyph_mask(w, h, lambda d, s: d.ellipse([(cx - 15) * s, (cy - 18) * s, (cx + 15) * s, (cy + 1) * s], fill=255))
    grad = rows_image(w, ramp(h, "#FFFFFF", "#FFFFFF", "#E0E0E0", "#A0A0A0"))
    fade = Image.new("L", (w, h))
    fp = fade.load()
    for y in range(h):
        v = max(0, min(255, int(170 - (y - 4) * 11)))
        for x in range(w):
            fp[x, y] = v
    paint(im, grad, ImageChops.multiply(gloss, fade))
    return im


def rgb_hex_lighter(s, f=0.28):
    c = mix(rgb(s), (255, 255, 255), f)
    return "#%02X%02X%02X" % c


def tab_full(t, hover, w=60):
    rows = bar_rows(t)[TAB_TOP:TAB_TOP + 24]
    im = rows_image(w, rows)
    if hover:
        style = dict(border=t["tab_hov_border"], fill=t["tab_hov"], hl=t["title_hl"])
        framed(im, (1, 1, w - 1, 23), 3, style, 22, hl_alpha=0.6)
    else:
        style = dict(border=t["tab_sel_border"], fill=t["tab_sel"], hl="#FFFFFF")
        framed(im, (0, 0, w, 24), 3, style, 24, open_bottom=True, hl_alpha=0.7)
        # the last row opens into the body below: same colour as the body's first row
        body0 = bar_rows(t)[50]
        px = im.load()
        for x in range(1, w - 1):
            px[x, 23] = body0
    return im


def cat_full(t, on, w=60):
    base = rows_image(w, bar_rows(t)[CAT_TOP:CAT_TOP + 89])
    x0, x1 = 1, w - 1
    paint(base, rgb(t["cat_border_on" if on else "cat_border"]), rrect_mask(w, 89, (x0, 0, x1, 89), 3))
    inner = rrect_mask(w, 89, (x0 + 1, 1, x1 - 1, 88), 2)
    paint(base, rows_image(w, [rgb(t["cat_body"][0])] + cat_rows(t, on)[:88]), inner)
    inner2 = rrect_mask(w, 89, (x0 + 2, 2, x1 - 2, 87), 2)
    paint(base, (255, 255, 255), scaled(ImageChops.subtract(inner, inner2), 0.75 if on else 0.55))
    return base


def cat_rows_for(t, on):
    return [rgb(t["cat_body"][0])] + cat_rows(t, on)[:88]


def launcher(t, state):
    w, h = 15, 14
    rows = cat_rows_for(t, state != "off")[BAND_TOP + 1:BAND_TOP + 15]
    im = rows_image(w, rows)
    col = rgb(t["cat_text"])
    if state == "over":
        framed(im, (0, 0, 15, 14), 2, HOT, 14)
        col = rgb("#5A4A1A")

    def draw(d, s):
        d.line([4 * s, 4 * s, 9 * s, 4 * s], fill=255, width=s)
        d.line([4 * s, 4 * s, 4 * s, 9 * s], fill=255, width=s)
        d.line([6.5 * s, 6.5 * s, 10.5 * s, 10.5 * s], fill=255, width=int(1.2 * s))
        d.polygon([(11.5 * s, 7.5 * s), (11.5 * s, 11.5 * s), (7.5 * s, 11.5 * s)], fill=255)
    paint(im, col, glyph_mask(w, h, draw))
    return im


def button_full(t, style, w=60):
    rows = cat_rows_for(t, False)[4:70]
    im = rows_image(w, rows)
    framed(im, (0, 0, w, 66), 3, style, 66)
    return im


def glip(t, on):
    im = Image.new("P", (5, 4), 0)
    pal = [0, 255, 0, *rgb(t["glyph"] if not on else "#202020")] + [0] * (3 * 254)
    if t is THEMES["BLACK"]:
        pal[3:6] = rgb("#202020") if on else rgb("#4A4A4A")
    im.putpalette(pal)
    px = im.load()
    for y, (a, b) in enumerate([(0, 5), (1, 4), (2, 3)]):
        for x in range(a, b):
            px[x, y + 1] = 1
    return im


def top_hover(t):
    im = column(strip(t, 120), 60, 22)
    framed(im, (1, 4, 21, 23), 3, HOT, 19)
    return im


def custom_button(t, over):
    w, h = 15, 26
    im = rows_image(w, bar_rows(t)[:h])
    if over:
        framed(im, (0, 4, 15, 23), 3, HOT, 19)
    col = rgb(t["glyph"]) if not over else rgb("#3B3B3B")

    def draw(d, s):
        d.rectangle([5 * s, 10 * s, 10 * s - 1, 11 * s - 1], fill=255)
        d.polygon([(4.5 * s, 13 * s), (10.5 * s, 13 * s), (7.5 * s, 16 * s)], fill=255)
    paint(im, col, glyph_mask(w, h, draw))
    return im


def edge(t, left):
    rows = bar_rows(t)
    im = rows_image(7, rows)
    px = im.load()
    frame = rgb(t["frame"])
    for y in range(BAR_H):
        light = mix(rows[y], (255, 255, 255), 0.35)
        xs = (0, 1) if left else (6, 5)
        px[xs[0], y] = frame
        if 0 < y < BAR_H - 1:
            px[xs[1], y] = light
    return im


def theme_pictures(t):
    tab_sel, tab_hov = tab_full(t, False), tab_full(t, True)
    cat_off, cat_on = cat_full(t, False), cat_full(t, True)
    hot, pressed = button_full(t, HOT), button_full(t, PRESSED)
    band = strip(t, 120)
    return {
        101: rows_image(11, bar_rows(t)),
        102: edge(t, True),
        103: edge(t, False),
        104: window_button(t, "min", False),
        105: window_button(t, "min", True),
        106: window_button(t, "max", False),
        107: window_button(t, "max", True),
        108: window_button(t, "end", False),
        109: window_button(t, "end", True),
        110: orb(t, "off"),
        111: orb(t, "over"),
        112: orb(t, "on"),
        113: column(band, 60, 18),
        114: band.crop((107, 0, 120, 26)),
        115: custom_button(t, False),
        116: custom_button(t, True),
        117: top_hover(t),
        118: launcher(t, "off"),
        119: launcher(t, "on"),
        120: launcher(t, "over"),
        121: cat_off.crop((0, 0, 4, 89)),
        122: column(cat_off, 30, 5),
        123: cat_off.crop((55, 0, 60, 89)),
        124: cat_on.crop((0, 0, 4, 89)),
        125: column(cat_on, 30, 4),
        126: cat_on.crop((55, 0, 60, 89)),
        127: tab_sel.crop((0, 0, 10, 24)),
        128: column(tab_sel, 30, 18),
        129: tab_sel.crop((50, 0, 60, 24)),
        130: tab_hov.crop((0, 0, 10, 24)),
        131: column(tab_hov, 30, 37),
        132: tab_hov.crop((50, 0, 60, 24)),
        133: glip(t, False),
        134: glip(t, True),
        135: pressed.crop((0, 0, 3, 66)),
        136: column(pressed, 30, 49),
        137: pressed.crop((57, 0, 60, 66)),
        138: hot.crop((0, 0, 3, 66)),
        139: column(hot, 30, 49),
        140: hot.crop((57, 0, 60, 66)),
    }


def save_gif(im, path):
    if im.mode == "P":
        im.info["version"] = b"89a"
        im.save(path, "GIF", transparency=0)
        return
    q = im.convert("RGB").quantize(colors=256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    q.info["version"] = b"89a"
    q.save(path, "GIF")


# ---------------------------------------------------------------- logo
def logo(size):
    """Program logo: an access card with a door and a golden key."""
    k = 8
    n = 32 * k
    im = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    u = k  # one logo pixel
    # soft shadow
    d.rounded_rectangle([3 * u, 8 * u, 31 * u, 28 * u], radius=4 * u, fill=(0, 0, 0, 70))
    # card body
    d.rounded_rectangle([1 * u, 5 * u, 29 * u, 26 * u], radius=4 * u, fill=(33, 73, 140, 255))
    card = Image.new("RGBA", (n, n))
    grad = rows_image(n, ramp(n, "#FFFFFF", "#FFFFFF", "#E3ECF7", "#C5D6EC")).convert("RGBA")
    mask = Image.new("L", (n, n), 0)
    ImageDraw.Draw(mask).rounded_rectangle([int(1.9 * u), int(5.9 * u), int(28.1 * u), int(25.1 * u)], radius=3 * u, fill=255)
    im.paste(grad, (0, 0), mask)
    # blue header band of the card
    band = Image.new("L", (n, n), 0)
    ImageDraw.Draw(band).rectangle([0, 0, n, int(10 * u)], fill=255)
    im.paste(rows_image(n, ramp(n, "#3F8AE0", "#1C5DB5", "#1C5DB5")).convert("RGBA"), (0, 0), ImageChops.multiply(mask, band))
    # door on the left: an arched doorway with a knob
    d.rounded_rectangle([5 * u, 12 * u, 14 * u, 24 * u], radius=int(4.5 * u), fill=(28, 86, 170, 255))
    d.rectangle([5 * u, 18 * u, 14 * u, 24 * u], fill=(28, 86, 170, 255))
    d.rounded_rectangle([int(6.5 * u), int(13.5 * u), int(12.5 * u), 24 * u], radius=3 * u, fill=(92, 160, 235, 255))
    d.rectangle([int(6.5 * u), 19 * u, int(12.5 * u), 24 * u], fill=(92, 160, 235, 255))
    d.ellipse([int(10.3 * u), int(18.3 * u), int(11.7 * u), int(19.7 * u)], fill=(255, 214, 90, 255))
    # golden key on the right, over the card's edge
    gold, dark = (246, 196, 58, 255), (150, 100, 10, 255)
    d.ellipse([17 * u, 13 * u, 25 * u, 21 * u], fill=dark)
    d.ellipse([int(17.8 * u), int(13.8 * u), int(24.2 * u), int(20.2 * u)], fill=gold)
    d.ellipse([int(19.7 * u), int(15.7 * u), int(22.3 * u), int(18.3 * u)], fill=dark)
    d.rectangle([24 * u, int(16.2 * u), 31 * u, int(18.8 * u)], fill=dark)
    d.rectangle([24 * u, int(16.9 * u), int(30.4 * u), int(18.1 * u)], fill=gold)
    d.rectangle([int(26.5 * u), int(18.5 * u), int(28 * u), int(21.5 * u)], fill=dark)
    d.rectangle([int(29 * u), int(18.5 * u), int(30.5 * u), int(20.5 * u)], fill=dark)
    # gloss on the key ring
    d.ellipse([int(18.6 * u), int(14.3 * u), int(21 * u), int(15.8 * u)], fill=(255, 246, 200, 200))
    return im.resize((size, size), Image.LANCZOS)


def main():
    for name, t in THEMES.items():
        folder = os.path.join(OUT, name)
        os.makedirs(folder, exist_ok=True)
        for pid, im in theme_pictures(t).items():
            save_gif(im, os.path.join(folder, "%d.gif" % pid))
    logo(32).save(os.path.join(OUT, "logo.png"))
    logo(64).save(os.path.join(OUT, "logo64.png"))
    print("pictures written to", OUT)


if __name__ == "__main__":
    sys.exit(main())
