#!/usr/bin/env python3
"""Writes the toolbar and menu icons of the desktop program as SVG files.

Every icon is drawn on a 16 x 16 grid from a few shared pieces (a page, a
small quad mesh, a magnifier, a stack of layers), so that related commands
look related and each still differs from its neighbours on the toolbar.
Run it from anywhere; it writes beside itself.
"""
import os

INK = "#303030"
BLUE = "#2a6fdb"
RED = "#d23030"
GREEN = "#2a9a3a"
ORANGE = "#e08a00"
GREY = "#9a9a9a"
PAPER = "#ffffff"
FONT = "font-family='Liberation Sans, Arial, sans-serif' font-weight='bold'"


def svg(*parts):
    body = "\n  ".join(parts)
    return ("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16' viewBox='0 0 16 16'>\n"
            "  <defs>\n"
            "    <radialGradient id='ball' cx='0.35' cy='0.35' r='0.7'>"
            "<stop offset='0' stop-color='#ffffff'/><stop offset='0.5' stop-color='#6aa0f0'/>"
            "<stop offset='1' stop-color='#123a80'/></radialGradient>\n"
            "    <linearGradient id='rainbow' x1='0' y1='1' x2='0' y2='0'>"
            "<stop offset='0' stop-color='#2040ff'/><stop offset='0.25' stop-color='#00c0ff'/>"
            "<stop offset='0.5' stop-color='#30d030'/><stop offset='0.75' stop-color='#ffe000'/>"
            "<stop offset='1' stop-color='#ff2000'/></linearGradient>\n"
            "  </defs>\n  " + body + "\n</svg>\n")


def line(x1, y1, x2, y2, color=INK, width=1.2, extra=""):
    return f"<line x1='{x1}' y1='{y1}' x2='{x2}' y2='{y2}' stroke='{color}' stroke-width='{width}' stroke-linecap='round' {extra}/>"


def rect(x, y, w, h, fill="none", stroke=INK, width=1.0, extra=""):
    return f"<rect x='{x}' y='{y}' width='{w}' height='{h}' fill='{fill}' stroke='{stroke}' stroke-width='{width}' {extra}/>"


def circle(cx, cy, r, fill="none", stroke=INK, width=1.0):
    return f"<circle cx='{cx}' cy='{cy}' r='{r}' fill='{fill}' stroke='{stroke}' stroke-width='{width}'/>"


def path(d, fill="none", stroke=INK, width=1.2, extra=""):
    return (f"<path d='{d}' fill='{fill}' stroke='{stroke}' stroke-width='{width}' "
            f"stroke-linecap='round' stroke-linejoin='round' {extra}/>")


def text(x, y, s, size=6, color=INK, anchor="middle"):
    return f"<text x='{x}' y='{y}' font-size='{size}' {FONT} fill='{color}' text-anchor='{anchor}'>{s}</text>"


def arrow(x1, y1, x2, y2, color=GREEN, width=1.6):
    """A straight arrow from (x1, y1) to the head at (x2, y2)."""
    import math
    a = math.atan2(y2 - y1, x2 - x1)
    h = 3.2
    p1 = (x2 - h * math.cos(a - 0.5), y2 - h * math.sin(a - 0.5))
    p2 = (x2 - h * math.cos(a + 0.5), y2 - h * math.sin(a + 0.5))
    return (line(x1, y1, x2, y2, color, width) +
            path(f"M{p1[0]:.2f},{p1[1]:.2f} L{x2},{y2} L{p2[0]:.2f},{p2[1]:.2f} Z", color, color, 0.8))


def page(fill=PAPER):
    return path("M3,1.5 H10 L13,4.5 V14.5 H3 Z", fill, INK, 1.0) + path("M10,1.5 V4.5 H13", "none", INK, 0.8)


def mesh(x=2, y=2, s=12, color=BLUE, width=1.0, n=2):
    """A square of n x n quads."""
    parts = [rect(x, y, s, s, "none", color, width)]
    for i in range(1, n):
        parts.append(line(x + s * i / n, y, x + s * i / n, y + s, color, width))
        parts.append(line(x, y + s * i / n, x + s, y + s * i / n, color, width))
    return "".join(parts)


def nodes(x=2, y=2, s=12, n=2):
    return [(x + s * i / n, y + s * j / n) for i in range(n + 1) for j in range(n + 1)]


def magnifier(inside=""):
    return (circle(6.5, 6.5, 4.6, PAPER, INK, 1.4) + inside +
            line(10, 10, 14.5, 14.5, INK, 2.4))


def layers(colors=(BLUE, GREEN, ORANGE), fills=None):
    parts = []
    for k, c in enumerate(colors):
        y = 10 - 3.5 * k
        f = fills[k] if fills else "#ffffff"
        parts.append(path(f"M1.5,{y} L8,{y - 2.8} L14.5,{y} L8,{y + 2.8} Z", f, c, 1.1))
    return "".join(parts)


def cube(color=INK):
    return (path("M3,5 L9,3 L14,5 L8,7 Z", "#dde8fa", color, 1.0) +
            path("M3,5 V12 L8,14 V7 Z", "#b8cdf2", color, 1.0) +
            path("M8,7 V14 L14,12 V5 Z", "#8fb0e8", color, 1.0))


def turn(horizontal, forward):
    """A curved arrow: around the vertical axis (horizontal) or the horizontal one."""
    if horizontal:
        d = "M3,9 C3,4 13,4 13,9" if forward else "M13,9 C13,4 3,4 3,9"
        head = (13, 9) if forward else (3, 9)
        tip = path(f"M{head[0] - 2.5},{head[1] - 2} L{head[0]},{head[1] + 1} L{head[0] + 2.5},{head[1] - 2}",
                   "none", BLUE, 1.6)
        axis = line(8, 3, 8, 14.5, GREY, 1.0, "stroke-dasharray='1.5,1.2'")
    else:
        d = "M9,3 C4,3 4,13 9,13" if forward else "M9,13 C4,13 4,3 9,3"
        head = (9, 3) if forward else (9, 13)
        tip = path(f"M{head[0] - 2},{head[1] - 2.5} L{head[0] + 1},{head[1]} L{head[0] - 2},{head[1] + 2.5}",
                   "none", BLUE, 1.6)
        axis = line(2, 8, 14.5, 8, GREY, 1.0, "stroke-dasharray='1.5,1.2'")
    return axis + path(d, "none", BLUE, 1.6) + tip


def plane(a, b):
    return (rect(2.5, 2.5, 11, 11, "#eef3fc", BLUE, 1.0) +
            arrow(3.5, 12.5, 12.5, 12.5, RED, 1.2) + arrow(3.5, 12.5, 3.5, 3.5, GREEN, 1.2) +
            text(9.2, 9.4, a + b, 5.6, INK))


def bar_icon():
    return rect(11, 2, 3.5, 12, "url(#rainbow)", INK, 0.8)


def red_x(cx=12, cy=12, r=2.6):
    return (line(cx - r, cy - r, cx + r, cy + r, RED, 1.8) + line(cx - r, cy + r, cx + r, cy - r, RED, 1.8))


def gear(cx=12, cy=12):
    return (circle(cx, cy, 2.6, "#f0f0f0", INK, 1.6) + circle(cx, cy, 0.9, INK, INK, 0.5))


ICONS = {
    # The framework's commands.
    "file-new": page() + line(11.5, 11, 11.5, 15, GREEN, 1.6) + line(9.5, 13, 13.5, 13, GREEN, 1.6),
    "file-open": path("M1.5,4 H6 L7.5,5.5 H13.5 V13.5 H1.5 Z", "#f6d77a", INK, 1.0) +
                 path("M1.5,13.5 L4,8 H15 L13.5,13.5 Z", "#f9e7a8", INK, 1.0),
    "file-close": page() + red_x(8, 9, 3),
    "file-save": rect(2, 2, 12, 12, "#4a78c8", INK, 1.0) + rect(4.5, 2.5, 7, 4.5, PAPER, INK, 0.8) +
                 rect(4, 9.5, 8, 4.5, "#dde8fa", INK, 0.8) + rect(9, 3.2, 1.6, 3, INK, "none", 0),
    "print": rect(4, 1.5, 8, 5, PAPER, INK, 1.0) + rect(1.5, 6.5, 13, 5.5, "#c8c8c8", INK, 1.0) +
             rect(4, 10, 8, 4.5, PAPER, INK, 1.0) + circle(12.5, 8.3, 0.7, GREEN, GREEN, 0.3),
    "print-preview": page() + circle(9, 9.5, 3, "#eef3fc", INK, 1.2) + line(11.2, 11.7, 14.3, 14.8, INK, 2.0),
    "about": circle(8, 8, 6.5, BLUE, INK, 1.0) + circle(8, 4.7, 1.1, PAPER, PAPER, 0) +
             rect(7, 6.8, 2, 5.5, PAPER, "none", 0),
    "context-help": path("M2,1.5 V12 L4.6,9.6 L6.4,13.6 L8,12.9 L6.3,9 H9.8 Z", PAPER, INK, 1.0) +
                    text(12.3, 14.5, "?", 9, BLUE),
    # Files of the document and the view.
    "import-file": mesh(6, 6, 9) + arrow(1, 1.5, 7.5, 8, GREEN),
    "export-file": page() + text(8, 12, "s3d", 5, BLUE) + arrow(9, 4, 15, 4, GREEN, 1.4),
    "export-view-image": rect(1.5, 3, 11, 9, "#cfe3ff", INK, 1.0) +
                         path("M1.5,12 L5,7 L8,10 L10,8 L12.5,12 Z", GREEN, GREEN, 0.5) +
                         circle(9.5, 5.5, 1.2, ORANGE, ORANGE, 0.3) + arrow(10, 13.5, 15.3, 13.5, RED, 1.5),
    "import-display-options": page() + text(8, 12, "cfg", 5, ORANGE) + arrow(1, 7, 6, 7, GREEN, 1.4),
    "export-display-options": page() + text(8, 12, "cfg", 5, ORANGE) + arrow(10, 7, 15, 7, GREEN, 1.4),
    # Zoom and view point.
    "zoom": magnifier(rect(4.3, 4.8, 4.4, 3.4, "none", RED, 0.9, "stroke-dasharray='1.2,0.8'")),
    "zoom-in": magnifier(line(4.3, 6.5, 8.7, 6.5, INK, 1.4) + line(6.5, 4.3, 6.5, 8.7, INK, 1.4)),
    "zoom-out": magnifier(line(4.3, 6.5, 8.7, 6.5, INK, 1.4)),
    "zoom-all": rect(1.5, 1.5, 13, 13, "none", GREY, 0.8) + mesh(4.5, 4.5, 7, BLUE, 1.0) +
                path("M1.5,4.5 V1.5 H4.5 M11.5,1.5 H14.5 V4.5 M14.5,11.5 V14.5 H11.5 M4.5,14.5 H1.5 V11.5",
                     "none", RED, 1.4),
    "zoom-previous": magnifier(path("M8.6,7.8 A2.2,2.2 0 1 0 6.5,4.3", "none", BLUE, 1.2) +
                               path("M5,3 L6.6,4.3 L5.2,5.8", "none", BLUE, 1.1)),
    "change-view-point": cube(),
    "set-view-angles": path("M2,14 H14 M2,14 L11,5", "none", INK, 1.2) +
                       path("M7,14 A5,5 0 0 0 5.6,10.5", "none", RED, 1.2) + text(12, 11.5, "°", 8, RED),
    "set-view-margins": rect(1.5, 1.5, 13, 13, "none", INK, 1.0) +
                        rect(4.5, 4.5, 7, 7, "#dde8fa", BLUE, 1.0, "stroke-dasharray='1.2,0.8'"),
    "increase-phi": turn(True, False),
    "decrease-phi": turn(True, True),
    "increase-psi": turn(False, True),
    "decrease-psi": turn(False, False),
    "view-xy": plane("X", "Y"),
    "view-yz": plane("Y", "Z"),
    "view-xz": plane("X", "Z"),
    "shrink-elements": "".join(rect(x, y, 5, 5, "#dde8fa", BLUE, 1.0) for x in (2, 9) for y in (2, 9)),
    # Rendering and the scalar field.
    "shading": circle(8, 8, 6.3, "url(#ball)", INK, 0.8),
    "import-pva": bar_icon() + arrow(1, 8, 9, 8, GREEN),
    "remove-pva": bar_icon() + red_x(5, 8, 3.2),
    "pva-options": bar_icon() + gear(5, 8),
    "overprint-mesh": rect(2, 2, 12, 12, "url(#ball)", "none", 0) + mesh(2, 2, 12, INK, 1.0, 3),
    "rendering-options": circle(7, 7, 5.3, "url(#ball)", INK, 0.8) + gear(12, 12),
    # Decoration.
    "bars-in-visible-area": rect(1.5, 1.5, 13, 13, "none", INK, 1.0) + rect(1.5, 1.5, 13, 2.5, INK, INK, 0) +
                            rect(11, 5, 3, 8.5, "url(#rainbow)", "none", 0) + mesh(3, 6, 6.5, BLUE, 0.9),
    "lines": mesh(2, 2, 12, BLUE, 1.4),
    "point-markers": mesh(2, 2, 12, GREY, 0.8) +
                     "".join(circle(x, y, 1.6, PAPER, BLUE, 1.1) for x, y in nodes()),
    "special-node-markers": mesh(2, 2, 12, GREY, 0.8) +
                            "".join(rect(x - 1.8, y - 1.8, 3.6, 3.6, RED, RED, 0) for x, y in [(2, 14), (14, 2), (8, 8)]),
    "point-numbers": mesh(2, 2, 12, GREY, 0.8) + circle(8, 8, 1.2, BLUE, BLUE, 0) + text(8, 6.3, "12", 6.2, BLUE),
    "element-node-numbers": rect(3.5, 3.5, 9, 9, "none", GREY, 1.0) + text(5.7, 11.2, "1", 5, GREEN) +
                            text(10.3, 11.2, "2", 5, GREEN) + text(10.3, 7.6, "3", 5, GREEN) +
                            text(5.7, 7.6, "4", 5, GREEN),
    "element-numbers": mesh(2, 2, 12, GREY, 0.8) + text(5, 7, "1", 5.5, ORANGE) + text(11, 7, "2", 5.5, ORANGE) +
                       text(5, 13, "3", 5.5, ORANGE) + text(11, 13, "4", 5.5, ORANGE),
    "special-node-numbers": rect(2, 8, 4, 4, RED, RED, 0) + text(11, 8, "7", 8, RED) +
                            line(6, 10, 9, 7, GREY, 0.8),
    "line-properties": line(2, 4, 14, 4, INK, 1.0) + line(2, 8, 14, 8, BLUE, 2.0) +
                       line(2, 12.5, 14, 12.5, RED, 1.4, "stroke-dasharray='3,1.5'"),
    "marker-properties": circle(4, 5, 2.2, PAPER, BLUE, 1.2) + rect(9.5, 3, 4.2, 4.2, RED, RED, 0) +
                         path("M4,9.5 L6.3,13.5 H1.7 Z", GREEN, GREEN, 0.5) +
                         path("M9.6,9.4 L13.8,13.6 M13.8,9.4 L9.6,13.6", "none", INK, 1.3),
    "number-properties": text(8, 12.5, "123", 7.5, BLUE),
    "display-options": rect(1.5, 2, 13, 11, "#eef3fc", INK, 1.0) + rect(11, 4, 2, 7, "url(#rainbow)", "none", 0) +
                       rect(1.5, 2, 13, 2, INK, INK, 0),
    "set-as-default": layers((GREY, GREY, BLUE)) + path("M9,12.5 L11,14.5 L15,9.5", "none", GREEN, 1.8),
    # Layers.
    "next-layer": layers((GREY, GREY, BLUE), [PAPER, PAPER, "#dde8fa"]) + arrow(14.6, 13, 14.6, 2.5, GREEN, 1.4),
    "previous-layer": layers((BLUE, GREY, GREY), ["#dde8fa", PAPER, PAPER]) + arrow(14.6, 2.5, 14.6, 13, GREEN, 1.4),
    "layer-visible": layers() + path("M7,13 Q11,9.5 15,13 Q11,16.5 7,13 Z", PAPER, INK, 0.9) +
                     circle(11, 13, 1.2, INK, INK, 0),
    "all-layers-off": layers((GREY, GREY, GREY)) + line(2, 14.5, 14, 1.5, RED, 1.6),
    "all-layers-on": layers((BLUE, GREEN, ORANGE), ["#dde8fa", "#d8f2dc", "#fbe7c2"]),
    "jump-to-layer": layers((GREY, BLUE, GREY), [PAPER, "#dde8fa", PAPER]) + arrow(15, 6.5, 11, 6.5, RED, 1.4),
    "keyboard-commands": rect(1, 4, 14, 9, "#f0f0f0", INK, 1.0) + text(5.2, 10.8, "L", 5.5, INK) +
                         text(10.8, 10.8, "I", 5.5, INK) + line(3.5, 12, 12.5, 12, GREY, 0.8),
}

APP = ("<svg xmlns='http://www.w3.org/2000/svg' width='64' height='64' viewBox='0 0 64 64'>\n"
       "  <defs><linearGradient id='g' x1='0' y1='0' x2='1' y2='1'>"
       "<stop offset='0' stop-color='#8fb8ff'/><stop offset='1' stop-color='#1d4fa8'/></linearGradient></defs>\n"
       "  <rect x='2' y='2' width='60' height='60' rx='10' fill='#f4f7fc' stroke='#303030' stroke-width='2'/>\n"
       "  <path d='M12,24 L34,14 L54,24 L32,34 Z' fill='#dde8fa' stroke='#303030' stroke-width='2' stroke-linejoin='round'/>\n"
       "  <path d='M12,24 V46 L32,56 V34 Z' fill='url(#g)' stroke='#303030' stroke-width='2' stroke-linejoin='round'/>\n"
       "  <path d='M32,34 V56 L54,46 V24 Z' fill='#3f74d0' stroke='#303030' stroke-width='2' stroke-linejoin='round'/>\n"
       "  <path d='M22,29 V51 M12,35 L32,45 M43,29 V51 M32,45 L54,35 M23,19 L43,29 M45,19 L22,29' stroke='#303030' stroke-width='1.2' fill='none'/>\n"
       "</svg>\n")

DOCUMENT = ("<svg xmlns='http://www.w3.org/2000/svg' width='64' height='64' viewBox='0 0 64 64'>\n"
            "  <path d='M12,4 H42 L54,16 V60 H12 Z' fill='#ffffff' stroke='#303030' stroke-width='2'/>\n"
            "  <path d='M42,4 V16 H54' fill='none' stroke='#303030' stroke-width='2'/>\n"
            "  <path d='M20,34 L33,28 L46,34 L33,40 Z' fill='#dde8fa' stroke='#2a6fdb' stroke-width='2'/>\n"
            "  <path d='M20,34 V48 L33,54 V40 Z M33,40 V54 L46,48 V34 Z' fill='#8fb0e8' stroke='#2a6fdb' stroke-width='2'/>\n"
            "</svg>\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, body in ICONS.items():
        with open(os.path.join(here, name + ".svg"), "w", newline="\n") as f:
            f.write(svg(body))
    with open(os.path.join(here, "kavrilon.svg"), "w", newline="\n") as f:
        f.write(APP)
    with open(os.path.join(here, "kavrilon-document.svg"), "w", newline="\n") as f:
        f.write(DOCUMENT)
    names = sorted(list(ICONS) + ["kavrilon", "kavrilon-document"])
    with open(os.path.join(here, "..", "kavrilon.qrc"), "w", newline="\n") as f:
        f.write("<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/icons\">\n")
        for n in names:
            f.write(f"  <file alias=\"{n}.svg\">icons/{n}.svg</file>\n")
        f.write("</qresource>\n</RCC>\n")


if __name__ == "__main__":
    main()
