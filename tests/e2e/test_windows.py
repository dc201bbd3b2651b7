"""The launcher's face on screen: the layered picture with the panel over
it, the progress bar, the close button, dragging, hiding, the keys and a
close request on the panel, seen in screenshots of the real launcher under
Wine with a compositing manager and compared with the pictures the build
drew."""
import os
import re
import subprocess
import tempfile
import time
import unittest

import harness

VERSION = "1.0.0.1"
PACKAGE = "%s/%s/bm.zip" % (harness.CHANNEL, VERSION)
ART = os.path.join(harness.BUILD_DIR, "art")
CLOSE = (1222, 87, 1252, 117)
PROGRESS, PERCENT, PHASE, STATUS, BROWSER = "1000", "1001", "1002", "1003", "1005"


class Picture:
    """RGB(A) pixels of an image file, read through ImageMagick."""

    def __init__(self, path, channels="rgba"):
        size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                              capture_output=True).stdout.split()
        self.w, self.h = int(size[0]), int(size[1])
        self.n = len(channels)
        self.data = subprocess.run(["convert", path, "-depth", "8", channels + ":-"], check=True,
                                   capture_output=True).stdout

    def at(self, x, y):
        i = (y * self.w + x) * self.n
        return tuple(self.data[i:i + self.n])


def screenshot():
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "screen.png")
        subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", path],
                       check=True, capture_output=True)
        return Picture(path, "rgb")


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True, capture_output=True,
                   env=dict(os.environ))


def main_rect():
    """(x, y, w, h, visible) of the main window."""
    code, out = harness.gui("state", harness.MAIN, "-")
    fields = out.split()
    if code != 0 or len(fields) < 5:
        return None
    return tuple(int(v) for v in fields[1:5]) + (fields[0] == "visible",)


def panel():
    """(x, y, w, h, visible) of the panel and {id: (visible, text, x, y, w, h)}."""
    found = harness.owned_windows()
    if not found:
        return None, {}
    own, controls = found
    x, y, w, h = (int(v) for v in own[2].split())
    parsed = {}
    for cid, fields in controls.items():
        if len(fields) >= 5 and fields[4]:
            parsed[cid] = (fields[1] == "visible", fields[2]) + tuple(int(v) for v in fields[4].split())
    return (x, y, w, h, own[1] == "visible"), parsed


class WindowsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Partial alpha blends only with a compositing manager; one already
        # running on this display makes this one leave at once.
        cls.compositor = None
        if os.environ.get("DISPLAY"):
            cls.compositor = subprocess.Popen(["xcompmgr"], stdout=subprocess.DEVNULL,
                                              stderr=subprocess.DEVNULL)
            time.sleep(0.5)

    @classmethod
    def tearDownClass(cls):
        if cls.compositor:
            cls.compositor.terminate()
            cls.compositor.wait(timeout=10)

    def setUp(self):
        harness.require_environment(self)
        harness.close_windows(harness.MAIN)
        harness.reset_install_root()
        self.server = harness.start_server(self)
        self.procs = []
        self.background = Picture(os.path.join(ART, "background.png"))
        self.close_image = Picture(os.path.join(ART, "close.png"))

    def tearDown(self):
        harness.end_run(self.procs)

    def launch(self, source=None, slow_package=False):
        body = harness.config_body(self.server.base_url, VERSION, VERSION)
        self.server.set_config(body=body)
        package = harness.demo_package()
        self.server.register_package(PACKAGE, data=package)
        if slow_package:
            # Paced by the server, the download keeps the bar on screen.
            self.server.add_fault("packages", rate=max(1, len(package) // 20))
        copy = harness.launcher_copy(self, source=source or harness.TEST_LAUNCHER_EXE)
        # What the screen showed before, to tell what lies beneath the window.
        self.before = screenshot()
        proc = copy.start()
        self.procs.append(proc)
        harness.wait_main_window(self, proc)
        self.assertTrue(harness.wait_for(lambda: (panel()[0] or (0, 0, 0, 0, False))[4], 15),
                        "the panel did not show")
        return copy, proc

    def origin(self):
        rect = main_rect()
        self.assertIsNotNone(rect)
        return rect[0], rect[1]

    def opaque_points(self, controls):
        """Opaque pixels of the picture that no control of the panel covers."""
        covered = [c[2:6] for c in controls.values()] + [
            (CLOSE[0], CLOSE[1], CLOSE[2] - CLOSE[0], CLOSE[3] - CLOSE[1])]
        points = []
        for y in range(60, self.background.h - 20, 37):
            for x in range(20, self.background.w - 20, 53):
                if self.background.at(x, y)[3] != 255:
                    continue
                if any(cx - 2 <= x < cx + cw + 2 and cy - 2 <= y < cy + ch + 2
                       for cx, cy, cw, ch in covered):
                    continue
                points.append((x, y))
        return points

    def test_picture_panel_bar_and_close_button_on_screen(self):
        self.launch(slow_package=True)

        def bar_moving():
            controls = panel()[1]
            return controls.get(PROGRESS, (False,))[0] and controls.get(PERCENT, (0, ""))[1] not in ("", "0%")
        self.assertTrue(harness.wait_for(bar_moving, 30), "the bar never showed")
        ox, oy = self.origin()
        own, controls = panel()
        self.assertEqual(own[:4], main_rect()[:4], "the panel is not over the picture")
        shot = screenshot()

        # A fully transparent pixel of the picture shows what lies beneath.
        hole = next((x, y) for y in range(0, 40) for x in range(0, 40)
                    if self.background.at(x, y)[3] == 0)
        self.assertEqual(shot.at(ox + hole[0], oy + hole[1]), self.before.at(ox + hole[0], oy + hole[1]))

        # Opaque pixels of the picture, under the black of the panel, keep the
        # picture's colour.
        points = self.opaque_points(controls)
        self.assertGreater(len(points), 100)
        wrong = [(p, shot.at(ox + p[0], oy + p[1]), self.background.at(*p)[:3]) for p in points
                 if shot.at(ox + p[0], oy + p[1]) != self.background.at(*p)[:3]]
        self.assertEqual(wrong[:5], [])

        # The close image at (1222, 87) of the window, where it is opaque.
        drawn = [(x, y) for y in range(self.close_image.h) for x in range(self.close_image.w)
                 if self.close_image.at(x, y)[3] == 255 and any(self.close_image.at(x, y)[:3])]
        self.assertGreater(len(drawn), 50)
        off = [(x, y) for x, y in drawn
               if shot.at(ox + CLOSE[0] + x, oy + CLOSE[1] + y) != self.close_image.at(x, y)[:3]]
        self.assertEqual(off[:5], [])

        # The bar: its filled part blue, the rest grey, where the template puts it.
        _, _, bx, by, bw, bh = controls[PROGRESS]
        middle = oy + by + bh // 2
        self.assertEqual(shot.at(ox + bx + 1, middle), (0, 132, 255))
        self.assertEqual(shot.at(ox + bx + bw - 2, middle), (105, 105, 105))

    def test_drag_moves_picture_and_panel_together(self):
        self.launch()
        x, y, w, h, _ = main_rect()
        grab = (x + 300, y + 300)
        xdotool("mousemove", *grab)
        xdotool("mousedown", 1)
        xdotool("mousemove", grab[0] + 100, grab[1] + 50)
        xdotool("mouseup", 1)
        self.assertTrue(harness.wait_for(lambda: main_rect()[:2] == (x + 100, y + 50), 5),
                        "moved to %s" % (main_rect(),))
        self.assertTrue(harness.wait_for(lambda: panel()[0][:4] == (x + 100, y + 50, w, h), 5))

    def test_close_button_area_ends_the_launcher_and_nothing_next_to_it(self):
        copy, proc = self.launch()
        ox, oy = self.origin()
        for px, py in ((CLOSE[2], (CLOSE[1] + CLOSE[3]) // 2), ((CLOSE[0] + CLOSE[2]) // 2, CLOSE[3])):
            xdotool("mousemove", ox + px, oy + py, "click", 1)
            time.sleep(0.5)
            self.assertIsNone(proc.poll(), "a click at %d,%d ended the launcher" % (px, py))
        xdotool("mousemove", ox + (CLOSE[0] + CLOSE[2]) // 2, oy + (CLOSE[1] + CLOSE[3]) // 2, "click", 1)
        self.assertEqual(harness.exit_code(proc), 0)
        log = harness.read_log()
        self.assertRegex(log, harness.info("CWebDlg::Close", "Laucher Stop"))
        self.assertRegex(log, harness.info("CWebApp::OnWndDestroy", "wnd destory"))

    def test_hiding_keys_and_a_close_request_on_the_panel(self):
        copy, proc = self.launch()
        harness.gui("show", harness.MAIN, "-", 0)
        self.assertTrue(harness.wait_for(lambda: not panel()[0][4], 5), "the panel stayed")
        harness.gui("show", harness.MAIN, "-", 1)
        self.assertTrue(harness.wait_for(lambda: panel()[0][4], 5), "the panel did not return")

        # Escape and Enter close nothing, on either window.
        ox, oy = self.origin()
        for x, y in ((300, 300), (700, 300)):
            xdotool("mousemove", ox + x, oy + y, "click", 1)
            xdotool("key", "Escape", "Return")
        time.sleep(1)
        self.assertIsNone(proc.poll())
        self.assertTrue(main_rect()[4])

        # A close request aimed at the panel ends the launcher as one on the
        # main window does.
        self.assertEqual(harness.gui("closeowned", harness.MAIN)[0], 0)
        self.assertEqual(harness.exit_code(proc), 0)
        self.assertRegex(harness.read_log(), harness.info("CWebApp::OnWndDestroy", "wnd destory"))

    def test_with_a_picture_that_cannot_be_decoded_the_launcher_still_runs(self):
        copy = harness.launcher_copy(self, source=harness.TEST_LAUNCHER_EXE)
        self.assertEqual(harness.gui("spoilres", copy.exe, 134)[0], 0)
        self.server.set_config(body=harness.config_body(self.server.base_url, VERSION, "0.0.0.0"))
        os.makedirs(harness.install_root("client"), exist_ok=True)
        with open(harness.install_root("client", "game_client_version.txt"), "w") as f:
            f.write(VERSION)
        before = screenshot()
        proc = copy.start()
        self.procs.append(proc)
        harness.wait_main_window(self, proc)
        self.assertTrue(harness.wait_for(
            lambda: panel()[1].get(STATUS, (False, ""))[:2] == (True, "更新已完成"), 20))
        ox, oy = self.origin()
        shot = screenshot()
        # Where the picture would be, the screen shows what lies beneath.
        self.assertEqual(shot.at(ox + 30, oy + 30), before.at(ox + 30, oy + 30))
        self.assertIsNone(proc.poll())


if __name__ == "__main__":
    unittest.main()
