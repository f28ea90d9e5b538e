#!/usr/bin/env python3
"""tools/folder-graph on small made-up trees: it must pass a tree whose folders
point one way and fail each kind of fault it is there to catch."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "folder-graph")


def run_on(files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        done = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
        return done.returncode, done.stdout


# A small layered tree: ui at the ground, platform on it, forms on both, a backend on platform.
LAYERED = {
    "ui/CMakeLists.txt": "",
    "ui/Toolkit.h": "#pragma once\n#include <string>\n",
    "platform/CMakeLists.txt": "",
    "platform/Seam.h": '#include "ui/Toolkit.h"\n',
    "forms/CMakeLists.txt": "",
    "forms/Window.cpp": '#include "platform/Seam.h"\n#  include "ui/Toolkit.h"\n',
    "win32/CMakeLists.txt": "",
    "win32/WindowsApi.h": "#include <windows.h>\n",
    "win32/toolkit/Control.cpp": '#include "win32/WindowsApi.h"\n#include "ui/Toolkit.h"\n',
    "win32/Backend.cpp": '#include "platform/Seam.h"\n#include "win32/toolkit/Control.h"\n',
    "tests/forms/WindowTest.cpp": '#include "win32/Backend.h"\n#include "forms/Window.h"\n',
}


class FolderGraph(unittest.TestCase):
    def test_a_layered_tree_passes_and_is_printed_from_the_ground_up(self):
        status, out = run_on(LAYERED)
        self.assertEqual(status, 0, out)
        self.assertIn("forms            -> platform 1, ui 1", out)
        self.assertIn("5 include lines between folders", out)
        # A subfolder without a CMakeLists.txt of its own is part of its parent.
        self.assertIn("win32            -> platform 1, ui 1", out)
        self.assertNotIn("win32/toolkit", out)
        # Tests may include anything; they are not product code.
        self.assertNotIn("tests", out)
        self.assertIn("0: ui\n  1: platform\n  2: forms  win32\n", out)

    def test_a_circle_fails_with_the_includes_that_close_it(self):
        status, out = run_on(dict(LAYERED, **{"ui/Toolkit.cpp": '#include "forms/Window.cpp"\n'}))
        self.assertEqual(status, 1, out)
        self.assertIn("FAULT circle: forms -> platform -> ui -> forms", out)
        self.assertIn("ui/Toolkit.cpp:1 includes forms/Window.cpp", out)

    def test_files_that_include_each_other_fail_a_cpp_and_its_header_as_one(self):
        status, out = run_on(dict(LAYERED, **{"win32/Backend.h": "#pragma once\n",
                                              "win32/toolkit/Control.h": '#include "win32/Backend.h"\n'}))
        self.assertEqual(status, 1, out)
        self.assertIn("FAULT circle of files: win32/Backend -> win32/toolkit/Control -> win32/Backend", out)
        self.assertIn("win32/Backend.cpp:2 includes win32/toolkit/Control.h", out)
        self.assertIn("win32/toolkit/Control.h:1 includes win32/Backend.h", out)

    def test_a_backend_that_includes_a_window_fails(self):
        for backend in ("posix", "web"):
            with self.subTest(backend):
                status, out = run_on(dict(LAYERED, **{backend + "/CMakeLists.txt": "",
                                                      backend + "/Ports.h": '#include "forms/Window.cpp"\n'}))
                self.assertEqual(status, 1, out)
                self.assertIn("FAULT %s/Ports.h:1: a backend includes a window: forms/Window.cpp" % backend, out)

    def test_windows_h_other_than_through_the_one_wrapper_fails(self):
        status, out = run_on(dict(LAYERED, **{"win32/Clock.cpp": "#include <Windows.h>\n"}))
        self.assertEqual(status, 1, out)
        self.assertIn("FAULT win32/Clock.cpp:1: <windows.h> other than", out)


if __name__ == "__main__":
    unittest.main()
