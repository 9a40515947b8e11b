#!/usr/bin/env python3
"""The Windows Installer packages under Wine's msiexec, silently, as an
administrator deploys them: installed per machine into Program Files,
registered with Outlook for every user in the registry view of the
library's bitness, listed in Programs and Features; an earlier version
upgraded in place and a later one refused; removed with nothing of theirs
left, and the users' job logs and options kept. Installing and removing
each tell Outlook as registration does: its own "Outlook Setup Extension"
value rewritten (never written where Outlook wrote none) and the
installing user's extension cache deleted.

Run by CTest in a Wine prefix that nothing else was installed in:
test_msi.py X86_MSI X64_MSI PREVIOUS_X86_MSI; WINEPREFIX names the prefix.
QV_HOLD_LIBRARY names hold-library.exe, which keeps the installed library
loaded while an upgrade runs."""

import os
import re
import shutil
import subprocess
import sys
import unittest

from wine_machine import (WINE_RUN, machine_of, reg_add, reg_delete, reg_key_exists, reg_query,
                          unix_path, wine)

MSI = {"x86": os.path.abspath(sys.argv[1]), "x64": os.path.abspath(sys.argv[2])}
PREVIOUS_MSI = os.path.abspath(sys.argv[3])
NAME_PATTERN = re.compile(r"Quorvel-([\d.]+)-x(?:86|64)\.msi$")
VERSION = NAME_PATTERN.search(MSI["x86"]).group(1)
PREVIOUS_VERSION = NAME_PATTERN.search(PREVIOUS_MSI).group(1)
STAGE = os.path.join(os.path.dirname(MSI["x86"]), "stage")
HOLD_LIBRARY = os.environ.get("QV_HOLD_LIBRARY", "")
PENDING_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager"

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
EXTENSIONS_KEY = r"HKLM\SOFTWARE\Microsoft\Exchange\Client\Extensions"
OPTIONS_KEY = r"HKCU\Software\Tamsor Software\Quorvel\CurrentVersion\options"
EXTENSION_VALUE = re.compile(r"^4\.0;(.+);1;11111111111111;1111111$")
FOLDER = {"x86": r"C:\Program Files (x86)\Quorvel", "x64": r"C:\Program Files\Quorvel"}
DISPLAY_NAME = {"x86": "Quorvel", "x64": "Quorvel (64-bit)"}
MACHINE = {"x86": 0x14C, "x64": 0x8664}
VIEW = {"x86": "32", "x64": "64"}
OTHER_VIEW = {"32": "64", "64": "32"}
CLSID = "{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}"
ADDIN_KEYS = (rf"HKLM\Software\Classes\CLSID\{CLSID}", r"HKLM\Software\Classes\Quorvel.Connect",
              r"HKLM\Software\Microsoft\Office\Outlook\Addins\Quorvel.Connect")
OTHER_ADDIN = r"HKLM\Software\Microsoft\Office\Outlook\Addins\Outlook.Other"
# Outlook's own value as it left it, and the text registration rewrites it
# with (read from registration.cpp, so that the packages cannot drift away
# from DllRegisterServer).
SETUP_EXTENSION = "Outlook Setup Extension"
OUTLOOKS_SETUP_TEXT = "4.0;Outxxx.dll;7;0"
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "install",
                       "registration.cpp")) as source:
    REGISTRATIONS_SETUP_TEXT = re.search(r'kSetupExtensionText\[\] = "([^"\\]+)";',
                                         source.read()).group(1)


def product_code(msi):
    table = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True,
                           text=True, check=True).stdout
    return re.search(r"^ProductCode\t(\{[0-9A-F-]+\})", table, re.M).group(1)


def msiexec(*args):
    return wine("msiexec", *args, "/qn").returncode


class MsiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        appdata = wine("cmd", "/c", "echo %APPDATA%", check=True).stdout.strip().splitlines()[-1]
        cls.data_folder = os.path.join(unix_path(appdata), "Quorvel")
        local = wine("cmd", "/c", "echo %LOCALAPPDATA%", check=True).stdout.strip().splitlines()[-1]
        cls.extension_cache = os.path.join(unix_path(local), "Microsoft", "Outlook", "extend.dat")

    def setUp(self):
        # A machine with Outlook (its extensions key in both views, and an
        # add-in of its own) and with the users' data of an earlier use.
        for view in ("32", "64"):
            reg_add(OTHER_ADDIN, "FriendlyName", "Other", view)
        self.outlook_started()
        os.makedirs(self.data_folder, exist_ok=True)
        with open(os.path.join(self.data_folder, "JobHistory.txt"), "w") as f:
            f.write("Job Started: (1/2/2024 3:04.05)\r\n")
        reg_add(OPTIONS_KEY, "Pause", "30")

    def tearDown(self):
        # Whatever a failed test left installed goes, for the next one.
        for msi, view in ((MSI["x86"], "32"), (PREVIOUS_MSI, "32"), (MSI["x64"], "64")):
            if reg_key_exists(self.entry(msi), view):
                msiexec("/x", product_code(msi))
        shutil.rmtree(self.data_folder, ignore_errors=True)
        reg_delete(r"HKCU\Software\Tamsor Software")

    def entry(self, msi):
        return rf"{UNINSTALL_KEY}\{product_code(msi)}"

    def outlook_started(self):
        """Outlook's own value as it wrote it, in both views, and the
        extension cache it keeps for the user who started it."""
        for view in ("32", "64"):
            reg_add(EXTENSIONS_KEY, SETUP_EXTENSION, OUTLOOKS_SETUP_TEXT, view)
        os.makedirs(os.path.dirname(self.extension_cache), exist_ok=True)
        with open(self.extension_cache, "wb") as cache:
            cache.write(b"the extensions Outlook loaded last")

    def assert_outlook_told(self, bitness):
        """What registration does after it wrote or removed the extension's
        value: Outlook's value in that view rewritten, the installing user's
        cache gone; the other view's value as Outlook left it."""
        view = VIEW[bitness]
        self.assertEqual(reg_query(EXTENSIONS_KEY, SETUP_EXTENSION, view),
                         ("REG_SZ", REGISTRATIONS_SETUP_TEXT))
        self.assertEqual(reg_query(EXTENSIONS_KEY, SETUP_EXTENSION, OTHER_VIEW[view]),
                         ("REG_SZ", OUTLOOKS_SETUP_TEXT))
        self.assertFalse(os.path.exists(self.extension_cache), "Outlook's extension cache stays")

    def assert_outlook_untouched(self):
        for view in ("32", "64"):
            self.assertEqual(reg_query(EXTENSIONS_KEY, SETUP_EXTENSION, view),
                             ("REG_SZ", OUTLOOKS_SETUP_TEXT))
        self.assertTrue(os.path.exists(self.extension_cache), "Outlook's extension cache is gone")

    def assert_installed(self, bitness, msi, version):
        view = VIEW[bitness]
        folder = unix_path(FOLDER[bitness])
        library = os.path.join(folder, "Quorvel.dll")
        self.assertEqual(sorted(os.listdir(folder)), ["Quorvel.chm", "Quorvel.dll"])
        self.assertEqual(machine_of(library), MACHINE[bitness])

        # The client extension, naming the installed file, in its view only.
        value = reg_query(EXTENSIONS_KEY, "Quorvel", view)
        self.assertIsNotNone(value, "the extension is not registered")
        m = EXTENSION_VALUE.match(value[1])
        self.assertIsNotNone(m, value[1])
        self.assertEqual(value[0], "REG_SZ")
        self.assertTrue(os.path.samefile(unix_path(m.group(1)), library), m.group(1))
        self.assertIsNone(reg_query(EXTENSIONS_KEY, "Quorvel", OTHER_VIEW[view]))

        # The add-in for every user, as DllInstall("machine") writes it.
        server = reg_query(ADDIN_KEYS[0] + r"\InprocServer32", "", view)
        self.assertIsNotNone(server, "the add-in's class is not registered")
        self.assertTrue(os.path.samefile(unix_path(server[1]), library), server[1])
        self.assertEqual(reg_query(ADDIN_KEYS[0] + r"\InprocServer32", "ThreadingModel", view),
                         ("REG_SZ", "Apartment"))
        self.assertEqual(reg_query(ADDIN_KEYS[0] + r"\ProgID", "", view),
                         ("REG_SZ", "Quorvel.Connect"))
        self.assertEqual(reg_query(ADDIN_KEYS[1] + r"\CLSID", "", view), ("REG_SZ", CLSID))
        self.assertEqual(reg_query(ADDIN_KEYS[2], "LoadBehavior", view), ("REG_DWORD", "0x3"))
        self.assertEqual(reg_query(ADDIN_KEYS[2], "FriendlyName", view), ("REG_SZ", "Quorvel"))
        self.assertIsNotNone(reg_query(ADDIN_KEYS[2], "Description", view))

        # Programs and Features.
        entry = self.entry(msi)
        self.assertEqual(reg_query(entry, "DisplayName", view), ("REG_SZ", DISPLAY_NAME[bitness]))
        self.assertEqual(reg_query(entry, "DisplayVersion", view), ("REG_SZ", version))
        self.assertEqual(reg_query(entry, "Publisher", view), ("REG_SZ", "Quorvel"))
        self.assertEqual(reg_query(entry, "InstallLocation", view),
                         ("REG_SZ", FOLDER[bitness] + "\\"))

    def assert_removed(self, bitness, msi):
        self.assertFalse(os.path.exists(unix_path(FOLDER[bitness])))
        self.assertFalse(reg_key_exists(self.entry(msi), VIEW[bitness]))
        for view in ("32", "64"):
            self.assertIsNone(reg_query(EXTENSIONS_KEY, "Quorvel", view))
            for key in ADDIN_KEYS:
                self.assertFalse(reg_key_exists(key, view), key)
            # Outlook's own add-in stays.
            self.assertEqual(reg_query(OTHER_ADDIN, "FriendlyName", view), ("REG_SZ", "Other"))
        # The users' logs and options are theirs.
        self.assertTrue(os.path.isfile(os.path.join(self.data_folder, "JobHistory.txt")))
        self.assertEqual(reg_query(OPTIONS_KEY, "Pause"), ("REG_SZ", "30"))

    def test_x86_upgraded_in_place_not_downgraded_and_removed(self):
        self.assertEqual(msiexec("/i", PREVIOUS_MSI), 0)
        self.assert_installed("x86", PREVIOUS_MSI, PREVIOUS_VERSION)
        self.assert_outlook_told("x86")
        # Both packages carry the same build of the library: mark the
        # installed one so that its replacement shows.
        library = os.path.join(unix_path(FOLDER["x86"]), "Quorvel.dll")
        with open(library, "wb") as stale:
            stale.write(b"an older library")

        self.outlook_started()
        self.assertEqual(msiexec("/i", MSI["x86"]), 0)
        self.assert_installed("x86", MSI["x86"], VERSION)
        self.assert_outlook_told("x86")
        self.assertFalse(reg_key_exists(self.entry(PREVIOUS_MSI)), "the earlier entry stays")
        with open(library, "rb") as installed, \
                open(os.path.join(STAGE, "x86", "Quorvel.dll"), "rb") as shipped:
            self.assertEqual(installed.read(), shipped.read(), "the library was not replaced")

        # An earlier package does not replace a later one, nor touch
        # Outlook's registration.
        self.outlook_started()
        self.assertNotEqual(msiexec("/i", PREVIOUS_MSI), 0)
        self.assert_installed("x86", MSI["x86"], VERSION)
        self.assertFalse(reg_key_exists(self.entry(PREVIOUS_MSI)))
        self.assert_outlook_untouched()

        self.assertEqual(msiexec("/x", MSI["x86"]), 0)
        self.assert_removed("x86", MSI["x86"])
        self.assert_outlook_told("x86")

    def test_an_upgrade_while_the_library_is_loaded_leaves_it_installed_and_registered(self):
        if not HOLD_LIBRARY:
            self.skipTest("QV_HOLD_LIBRARY names no hold-library.exe")
        self.assertEqual(msiexec("/i", PREVIOUS_MSI), 0)
        library = FOLDER["x86"] + r"\Quorvel.dll"
        holder = subprocess.Popen([WINE_RUN, HOLD_LIBRARY, library], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "loaded")
            # Windows Installer replaces a file in use at the next restart
            # (3010); the registration names the same path either way.
            self.assertIn(msiexec("/i", MSI["x86"]), (0, 3010))
            self.assert_installed("x86", MSI["x86"], VERSION)
            # A restart may replace the library, never just delete it.
            pending = reg_query(PENDING_KEY, "PendingFileRenameOperations", "64")
            operations = (pending or ("", ""))[1].lower().split("\\0")
            for n in range(0, len(operations) - 1, 2):
                if operations[n].endswith("quorvel\\quorvel.dll"):
                    self.assertTrue(operations[n + 1], "the library is deleted at the restart")
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
            holder.stdout.close()
        self.assertEqual(msiexec("/x", MSI["x86"]), 0)
        self.assert_removed("x86", MSI["x86"])

    def test_x64_installed_and_removed_by_product_code(self):
        self.assertEqual(msiexec("/i", MSI["x64"]), 0)
        self.assert_installed("x64", MSI["x64"], VERSION)
        self.assert_outlook_told("x64")
        self.assertFalse(os.path.exists(unix_path(FOLDER["x86"])))
        # Removed as Programs and Features or a deployment tool removes it.
        self.outlook_started()
        self.assertEqual(msiexec("/x", product_code(MSI["x64"])), 0)
        self.assert_removed("x64", MSI["x64"])
        self.assert_outlook_told("x64")

    def test_outlooks_value_is_never_written_where_outlook_wrote_none(self):
        # The value stays Outlook's: where there is none, the package neither
        # writes one nor leaves one behind.
        wine("reg", "delete", EXTENSIONS_KEY, "/v", SETUP_EXTENSION, "/f", "/reg:32", check=True)
        self.assertEqual(msiexec("/i", MSI["x86"]), 0)
        self.assert_installed("x86", MSI["x86"], VERSION)
        self.assertIsNone(reg_query(EXTENSIONS_KEY, SETUP_EXTENSION, "32"))
        self.assertEqual(msiexec("/x", MSI["x86"]), 0)
        self.assert_removed("x86", MSI["x86"])
        self.assertIsNone(reg_query(EXTENSIONS_KEY, SETUP_EXTENSION, "32"))
        self.assertEqual(reg_query(EXTENSIONS_KEY, SETUP_EXTENSION, "64"),
                         ("REG_SZ", OUTLOOKS_SETUP_TEXT))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
