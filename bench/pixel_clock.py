"""Reads single screen pixels fast enough to time paints (Xlib through ctypes)."""
import ctypes

_ZPIXMAP = 2
_ALL_PLANES = 0xFFFFFFFF


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class PixelClock:
    def __init__(self, display):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(_XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def pixel(self, x, y):
        """(r, g, b) at a point of a 24-bit screen."""
        image = self.x.XGetImage(self.dpy, self.root, x, y, 1, 1, _ALL_PLANES, _ZPIXMAP)
        if not image:
            return None
        img = image.contents
        b, g, r = img.data[0], img.data[1], img.data[2]
        self.x.XFree(ctypes.cast(img.data, ctypes.c_void_p))
        self.x.XFree(ctypes.cast(image, ctypes.c_void_p))
        return (r, g, b)
