"""Pixels of an X display without extra packages: the root window read through libX11 (ctypes),
kept as rows of RGB bytes, with a PNG writer and a search for flat rectangles of one colour (the
show panel's buttons are found that way)."""
import ctypes
import ctypes.util
import struct
import zlib

_ZPIXMAP = 2
_ALL_PLANES = 0xFFFFFFFF


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


def _xlib():
    lib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    lib.XDefaultRootWindow.restype = ctypes.c_ulong
    lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    lib.XGetImage.restype = ctypes.POINTER(_XImage)
    lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    lib.XDestroyImage = None  # a macro; the image's own destroy function is called instead
    lib.XFree.argtypes = [ctypes.c_void_p]
    lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    lib.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    return lib


class Screen:
    """One picture of the whole screen of `display` (":N")."""

    def __init__(self, display):
        lib = _xlib()
        dpy = lib.XOpenDisplay(display.encode())
        if not dpy:
            raise RuntimeError("cannot open display " + display)
        try:
            self.width = lib.XDisplayWidth(dpy, 0)
            self.height = lib.XDisplayHeight(dpy, 0)
            image = lib.XGetImage(dpy, lib.XDefaultRootWindow(dpy), 0, 0, self.width,
                                  self.height, _ALL_PLANES, _ZPIXMAP)
            if not image:
                raise RuntimeError("cannot read the screen of " + display)
            im = image.contents
            if im.bits_per_pixel != 32:
                raise RuntimeError("unexpected %d bits per pixel" % im.bits_per_pixel)
            raw = ctypes.string_at(im.data, im.bytes_per_line * im.height)
            stride = im.bytes_per_line
            # 32-bit pixels, blue first (the usual little-endian TrueColor of Xvfb).
            self.rows = []
            for y in range(self.height):
                line = raw[y * stride: y * stride + 4 * self.width]
                rgb = bytearray(3 * self.width)
                rgb[0::3] = line[2::4]
                rgb[1::3] = line[1::4]
                rgb[2::3] = line[0::4]
                self.rows.append(bytes(rgb))
            lib.XFree(ctypes.c_void_p(im.data))
            lib.XFree(ctypes.cast(image, ctypes.c_void_p))
        finally:
            lib.XCloseDisplay(dpy)

    def pixel(self, x, y):
        row = self.rows[y]
        return row[3 * x], row[3 * x + 1], row[3 * x + 2]

    def save_png(self, path):
        raw = b"".join(b"\x00" + row for row in self.rows)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I",
                                                                      zlib.crc32(body) & 0xFFFFFFFF)

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))

    def find_boxes(self, match, min_width=12, min_height=8, max_gap=10):
        """Rectangles (x, y, width, height) filled with pixels that `match(r, g, b)`: runs of
        them at least min_width long on a row (gaps of up to max_gap other pixels, such as the
        strokes of a button's text, bridged), merged with the runs of the rows below that
        overlap them. Largest first."""

        def near(row, x):
            return match(row[3 * x], row[3 * x + 1], row[3 * x + 2])

        boxes = []  # [x0, y0, x1, y1] inclusive, last row seen
        open_boxes = []
        for y, row in enumerate(self.rows):
            runs = []
            x = 0
            while x < self.width:
                if near(row, x):
                    start = x
                    end = x
                    while x < self.width and x - end <= max_gap + 1:
                        if near(row, x):
                            end = x
                        x += 1
                    x = end + 1
                    if end + 1 - start >= min_width:
                        runs.append((start, end))
                else:
                    x += 1
            still_open = []
            for start, end in runs:
                for box in open_boxes:
                    if box[3] == y - 1 and start <= box[2] and end >= box[0]:
                        box[0] = min(box[0], start)
                        box[2] = max(box[2], end)
                        box[3] = y
                        if box not in still_open:
                            still_open.append(box)
                        break
                else:
                    box = [start, y, end, y]
                    boxes.append(box)
                    still_open.append(box)
            open_boxes = still_open
        found = [(b[0], b[1], b[2] - b[0] + 1, b[3] - b[1] + 1) for b in boxes
                 if b[3] - b[1] + 1 >= min_height]
        found.sort(key=lambda b: -b[2] * b[3])
        return found


class Keyboard:
    """Keys and mouse clicks sent straight to the X server through the XTEST extension on one
    open connection, so that the moment a key leaves is known to a fraction of a millisecond
    (xdotool's own start-up takes several)."""

    def __init__(self, display):
        self._x = _xlib()
        self._x.XKeysymToKeycode.restype = ctypes.c_ubyte
        self._x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self._x.XStringToKeysym.restype = ctypes.c_ulong
        self._x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self._x.XFlush.argtypes = [ctypes.c_void_p]
        self._x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self._tst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        self._tst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self._tst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self._dpy = self._x.XOpenDisplay(display.encode())
        if not self._dpy:
            raise RuntimeError("cannot open display " + display)

    def key(self, name):
        """Presses and releases the key `name` (an X keysym name: "Escape", "k")."""
        code = self._x.XKeysymToKeycode(self._dpy, self._x.XStringToKeysym(name.encode()))
        self._tst.XTestFakeKeyEvent(self._dpy, code, 1, 0)
        self._tst.XTestFakeKeyEvent(self._dpy, code, 0, 0)
        self._x.XSync(self._dpy, 0)

    def click(self, button=1):
        """Presses and releases a mouse button where the pointer is."""
        self._tst.XTestFakeButtonEvent(self._dpy, button, 1, 0)
        self._tst.XTestFakeButtonEvent(self._dpy, button, 0, 0)
        self._x.XSync(self._dpy, 0)

    def close(self):
        if self._dpy:
            self._x.XCloseDisplay(self._dpy)
            self._dpy = None
