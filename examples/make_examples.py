#!/usr/bin/env python3
"""Writes the sample meshes of this folder and a scalar field for each.

Each mesh is first written the way a person would type it (comments, loose
layout), then passed through `kavrilon-cli convert`, so the stored file is
exactly what the program itself writes (fixed fields, CR LF line ends).
Beside it goes a .pva file of one value per point of its first layer, a
smooth function of the coordinates, so that importing it (or
`kavrilon-cli render MESH.s3d --pva MESH.pva`) shows a contour fill at once.

    examples/make_examples.py [--cli PATH/TO/kavrilon-cli]

Only the Python standard library is used.
"""

import argparse
import math
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


class Layer:
    def __init__(self, name):
        self.name = name
        self.points = []  # (x, y, z)
        self.elements = []  # lists of 1-based point numbers
        self.special = []  # 1-based point numbers

    def point(self, x, y, z):
        self.points.append((x, y, z))
        return len(self.points)


def closed(nodes):
    """The outline with its first node repeated: line mode draws the node list
    as a polyline, so only a closed list shows every side. The repeated node
    does not change the element's shape."""
    return nodes + [nodes[0]]


def s3d_text(title, layers):
    """Free-form .s3d text: one record a line, with comments."""
    out = ["# written by make_examples.py", title]
    for layer in layers:
        out.append(layer.name)
        out.append("%d %d %d  # elements, points, special nodes"
                   % (len(layer.elements), len(layer.points), len(layer.special)))
        for i, nodes in enumerate(layer.elements, 1):
            out.append(" ".join(str(v) for v in [i, len(nodes)] + nodes))
        for i, (x, y, z) in enumerate(layer.points, 1):
            out.append("%d %.10g %.10g %.10g" % (i, x, y, z))
        for i, v in enumerate(layer.special, 1):
            out.append("%d %d" % (i, v))
    return "\n".join(out) + "\n"


def grid(layer, nx, ny, at, skip=None):
    """Points of an (nx+1) x (ny+1) grid; returns ids[j][i] (0 where skipped)."""
    ids = [[0] * (nx + 1) for _ in range(ny + 1)]
    for j in range(ny + 1):
        for i in range(nx + 1):
            if skip and skip(i, j):
                continue
            ids[j][i] = layer.point(*at(i, j))
    return ids


def plate():
    """A 200 x 120 plate of 10 x 6 four-node quads, held at its four corners
    and loaded at its centre (the special nodes)."""
    layer = Layer("Plate, 4-node quads")
    nx, ny = 10, 6
    ids = grid(layer, nx, ny, lambda i, j: (20.0 * i, 20.0 * j, 0.0))
    for j in range(ny):
        for i in range(nx):
            layer.elements.append(closed([ids[j][i], ids[j][i + 1], ids[j + 1][i + 1], ids[j + 1][i]]))
    layer.special = [ids[0][0], ids[0][nx], ids[ny][nx], ids[ny][0], ids[ny // 2][nx // 2]]
    return "Steel plate 200 x 120 mm", [layer]


def layered():
    """A small platform: a frame of beams, a deck of triangles above it and
    a back wall of 8- and 9-node quads."""
    frame = Layer("Frame, 2-node beams")
    corners = [(0, 0), (4, 0), (4, 3), (0, 3)]
    low = [frame.point(x, y, 0.0) for x, y in corners]
    high = [frame.point(x, y, 2.5) for x, y in corners]
    for k in range(4):
        frame.elements.append([low[k], high[k]])  # columns
        frame.elements.append([high[k], high[(k + 1) % 4]])  # top ring
    frame.elements.append([high[0], high[2]])  # diagonal brace
    frame.special = low

    deck = Layer("Deck, 3-node triangles")
    nx, ny = 4, 3
    ids = grid(deck, nx, ny, lambda i, j: (1.0 * i, 1.0 * j, 2.5))
    for j in range(ny):
        for i in range(nx):
            a, b, c, d = ids[j][i], ids[j][i + 1], ids[j + 1][i + 1], ids[j + 1][i]
            if (i + j) % 2 == 0:
                deck.elements += [closed([a, b, c]), closed([a, c, d])]
            else:
                deck.elements += [closed([a, b, d]), closed([b, c, d])]

    wall = Layer("Back wall, 8- and 9-node quads")
    # A 4 x 2.5 wall in the plane y = 3 on a grid of half cells; the left cells
    # have 9 nodes (with centres), the right ones 8.
    cells_x, cells_y = 2, 1
    def centre_unused(i, j):
        return i % 2 == 1 and j % 2 == 1 and i > cells_x
    ids = grid(wall, 2 * cells_x, 2 * cells_y,
               lambda i, j: (4.0 * i / (2 * cells_x), 3.0, 2.5 * j / (2 * cells_y)),
               skip=centre_unused)
    for cy in range(cells_y):
        for cx in range(cells_x):
            a, b = 2 * cx, 2 * cy
            ring = [ids[b][a], ids[b][a + 1], ids[b][a + 2], ids[b + 1][a + 2],
                    ids[b + 2][a + 2], ids[b + 2][a + 1], ids[b + 2][a], ids[b + 1][a]]
            centre = ids[b + 1][a + 1]
            # A centre node cannot be closed over; the 8-node outline can.
            wall.elements.append(ring + [centre] if centre else closed(ring))
    wall.special = [ids[0][0], ids[0][2 * cells_x]]
    return "Platform: frame, deck and back wall", [frame, deck, wall]


def dome():
    """A spherical cap of radius 10 over a 8 x 8 square patch, cut into
    six-node triangles whose mid-side nodes lie on the sphere."""
    layer = Layer("Cap, 6-node triangles")
    radius, half, n = 10.0, 4.0, 4  # n cells a side, each two triangles
    m = 2 * n
    def at(i, j):
        x = -half + 2 * half * i / m
        y = -half + 2 * half * j / m
        return (x, y, math.sqrt(radius * radius - x * x - y * y) - radius + 2.0)
    # Mid-side nodes of the diagonals are used; the grid has no unused points.
    ids = grid(layer, m, m, at)
    for j in range(n):
        for i in range(n):
            a, b = 2 * i, 2 * j
            p = lambda di, dj: ids[b + dj][a + di]
            # Corners and mid-side nodes alternate round each triangle.
            layer.elements.append(closed([p(0, 0), p(1, 0), p(2, 0), p(1, 1), p(0, 2), p(0, 1)]))
            layer.elements.append(closed([p(2, 0), p(2, 1), p(2, 2), p(1, 2), p(0, 2), p(1, 1)]))
    layer.special = [ids[n][n]]  # the apex
    return "Spherical cap, R = 10", [layer]


def pva_text(comment, layer, value):
    """PVA records "k value" for every point of `layer`, CR LF line ends as
    the program writes text, after comment lines; the file ends with the
    last record's line end. Values are rounded to 1e-9 (no -0 or 1e-16
    where the function is zero)."""
    out = ["# " + line for line in comment] + [
        "%d %.10g" % (i, round(value(*p), 9) + 0.0) for i, p in enumerate(layer.points, 1)]
    return "\r\n".join(out) + "\r\n"


def fields(layers_by_file):
    """The scalar fields: {file name: (comment lines, layer, value(x, y, z))}."""
    plate_layer = layers_by_file["plate.s3d"][0]
    frame, deck, _ = layers_by_file["layers.s3d"]
    cap = layers_by_file["dome.s3d"][0]
    return {
        # The first mode of a plate simply supported on its edges: zero along
        # the edges, deepest at the loaded centre.
        "plate.pva": (["Deflection of the plate (mm), first bending mode", "point  value"], plate_layer,
                      lambda x, y, z: -2.5 * math.sin(math.pi * x / 200.0) * math.sin(math.pi * y / 120.0)),
        # The frame is layer 1, current when a view opens: the field imports
        # at once; its beams are drawn as lines, the deck and wall shaded.
        "layers.pva": (["Temperature of the frame (C), warmer towards the top and the far side",
                        "layer 1 (frame)"], frame,
                       lambda x, y, z: 20.0 + 8.0 * z + 1.5 * x),
        # Contour fill of the deck: make layer 2 current first (--layer 2).
        "layers-deck.pva": (["Distance from the corner post at the origin (m)", "layer 2 (deck)"], deck,
                            lambda x, y, z: math.hypot(x, y)),
        # Height above the rim: rings round the apex, a little tilted.
        "dome.pva": (["Height of the cap (m), tilted a little along x", "point  value"], cap,
                     lambda x, y, z: z + 0.05 * x),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "release", "cli", "kavrilon-cli"))
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit("make_examples.py: build kavrilon-cli first (scripts/test), or pass --cli")

    meshes = {"plate.s3d": plate(), "layers.s3d": layered(), "dome.s3d": dome()}
    for name, (title, layers) in meshes.items():
        with tempfile.TemporaryDirectory() as tmp:
            loose = os.path.join(tmp, name)
            with open(loose, "w", newline="\n") as f:
                f.write(s3d_text(title, layers))
            out = os.path.join(HERE, name)
            subprocess.run([args.cli, "convert", loose, out, "--no-cfg"], check=True)
        check = subprocess.run([args.cli, "check", out], check=True, capture_output=True, text=True)
        print(check.stdout, end="")

    for name, (comment, layer, value) in fields({k: v[1] for k, v in meshes.items()}).items():
        out = os.path.join(HERE, name)
        with open(out, "w", newline="") as f:
            f.write(pva_text(comment, layer, value))
        check = subprocess.run([args.cli, "check", out], check=True, capture_output=True, text=True)
        print(name + ": " + check.stdout, end="")


if __name__ == "__main__":
    main()
