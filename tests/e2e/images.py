"""Pixels as a person sees them: the X server's screen, image files and the
clipboard, all read as plain RGB rows through ImageMagick."""
import subprocess


class Image:
    """Width, height and RGB bytes, three per pixel, row after row."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb
        if len(rgb) != width * height * 3:
            raise ValueError("%dx%d image with %d bytes" % (width, height, len(rgb)))

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, left, top, right, bottom):
        """The part (left, top)-(right, bottom), edges exclusive; what lies
        beyond the image is black."""
        black = b"\0\0\0"
        rows = []
        for y in range(top, bottom):
            x0, x1 = max(left, 0), min(right, self.width)
            if not 0 <= y < self.height or x1 <= x0:
                rows.append(black * (right - left))
                continue
            start = y * self.width * 3
            rows.append(black * (x0 - left) + self.rgb[start + x0 * 3:start + x1 * 3] + black * (right - x1))
        return Image(right - left, bottom - top, b"".join(rows))

    def inverted(self):
        return Image(self.width, self.height, bytes(255 - b for b in self.rgb))

    def differences(self, other, limit=5):
        """Up to limit pixels where the two differ, as (x, y, mine, theirs)."""
        if (self.width, self.height) != (other.width, other.height):
            return [("size", (self.width, self.height), (other.width, other.height))]
        found = []
        if self.rgb == other.rgb:
            return found
        for i in range(0, len(self.rgb), 3):
            if self.rgb[i:i + 3] != other.rgb[i:i + 3]:
                found.append(((i // 3) % self.width, (i // 3) // self.width,
                              tuple(self.rgb[i:i + 3]), tuple(other.rgb[i:i + 3])))
                if len(found) >= limit:
                    break
        return found


def _decode(source, data=None):
    size = subprocess.run(["identify", "-format", "%w %h\n", source], input=data, capture_output=True,
                          timeout=60, check=True).stdout.split(b"\n")[0].split()
    rgb = subprocess.run(["convert", source + "[0]", "-depth", "8", "rgb:-"], input=data, capture_output=True,
                         timeout=60, check=True).stdout
    return Image(int(size[0]), int(size[1]), rgb)


def read_file(path):
    """An image file (PNG, JPEG, GIF, BMP) decoded."""
    return _decode(path)


def screen():
    """What the X server shows now, the whole root window."""
    png = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, timeout=60,
                         check=True).stdout
    return _decode("png:-", png)


def clipboard_targets():
    return subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"], capture_output=True,
                          timeout=10).stdout.decode("utf-8", "replace").split()


def clipboard_image():
    """The image on the clipboard, as Wine offers it to X programs, or None."""
    targets = clipboard_targets()
    for target in ("image/png", "image/bmp", "image/x-bmp", "image/x-MS-bmp"):
        if target in targets:
            data = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", target],
                                  capture_output=True, timeout=10).stdout
            if data:
                kind = "png" if target == "image/png" else "bmp"
                return _decode(kind + ":-", data)
    return None
