"""The pointer's shape as the X server shows it, read with the XFIXES
extension: what a person sees under the pointer, whatever program set it."""
import ctypes
import ctypes.util
import os


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong),
                ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


_x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
_x11.XFree.argtypes = [ctypes.c_void_p]
_xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
_xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]


def cursor():
    """(width, height, xhot, yhot, ARGB pixels as a tuple) of the pointer
    shown now, or None when the server cannot tell."""
    display = _x11.XOpenDisplay(os.environ.get("DISPLAY", "").encode())
    if not display:
        return None
    try:
        image = _xfixes.XFixesGetCursorImage(display)
        if not image:
            return None
        try:
            c = image.contents
            pixels = tuple(c.pixels[i] & 0xFFFFFFFF for i in range(c.width * c.height))
            return (c.width, c.height, c.xhot, c.yhot, pixels)
        finally:
            _x11.XFree(image)
    finally:
        _x11.XCloseDisplay(display)
