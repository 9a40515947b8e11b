#!/usr/bin/env python3
"""The installer under Wine, silently, in both of its ways: for all users, as
an administrator runs it, and only for the current user. What each puts on
the machine (files, registration with Outlook in the registry view of the
library's bitness, the installed programs' entry), what its uninstaller
takes away again and what it keeps (the users' job logs and options, the
other way's installation), and an upgrade over an earlier version.

Run by CTest in a Wine prefix that nothing else was installed in:
test_installer.py SETUP PREVIOUS_SETUP [CA_FILE]; WINEPREFIX names the prefix.
With CA_FILE the installed programs' signatures are checked too.
QV_HOLD_LIBRARY names hold-library.exe, which keeps the installed library
loaded while an upgrade runs."""

import os
import re
import shutil
import subprocess
import sys
import time
import unittest

from wine_machine import (WINE_RUN, machine_of, reg_add, reg_delete, reg_key_exists, reg_query,
                          unix_path, wine)

SETUP, PREVIOUS_SETUP = sys.argv[1], sys.argv[2]
CA_FILE = sys.argv[3] if len(sys.argv) > 3 else ""
VERSION = re.search(r"Quorvel-([\d.]+)-setup\.exe$", SETUP).group(1)
PREVIOUS_VERSION = re.search(r"Quorvel-([\d.]+)-setup\.exe$", PREVIOUS_SETUP).group(1)

HOLD_LIBRARY = os.environ.get("QV_HOLD_LIBRARY", "")
PENDING_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
EXTENSIONS_KEY = r"HKLM\SOFTWARE\Microsoft\Exchange\Client\Extensions"
OPTIONS_KEY = r"HKCU\Software\Tamsor Software\Quorvel\CurrentVersion\options"
EXTENSION_VALUE = re.compile(r"^4\.0;(.+);1;11111111111111;1111111$")
FOLDER = {"x86": r"C:\Program Files (x86)\Quorvel", "x64": r"C:\Program Files\Quorvel"}
MACHINE = {"x86": 0x14C, "x64": 0x8664}
OTHER = {"x86": "x64", "x64": "x86"}
VIEW = {"x86": "32", "x64": "64"}

USER_UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
CLSID = "{5A0C6E3B-2F41-4C8E-9D2A-7B1E0C4F9A63}"
# The add-in's keys under a root: HKCU for the current user, HKLM for all.
CLASS_KEY = rf"Software\Classes\CLSID\{CLSID}"
PROGID_KEY = r"Software\Classes\Quorvel.Connect"
ADDINS_KEY = r"Software\Microsoft\Office\Outlook\Addins"
ADDIN_KEY = ADDINS_KEY + r"\Quorvel.Connect"


def wait_for(condition, seconds=120):
    """The uninstaller started without _?= copies itself away and returns at
    once, as it does when started from the installed programs' list."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.5)
    return condition()


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        appdata = wine("cmd", "/c", "echo %APPDATA%", check=True).stdout.strip().splitlines()[-1]
        cls.data_folder = os.path.join(unix_path(appdata), "Quorvel")
        local = wine("cmd", "/c", "echo %LOCALAPPDATA%", check=True).stdout.strip().splitlines()[-1]
        cls.user_folder = local + r"\Programs\Quorvel"

    def setUp(self):
        # A machine with Outlook (its extensions key in both views) and
        # without Quorvel.
        for bitness in FOLDER:
            shutil.rmtree(unix_path(FOLDER[bitness]), ignore_errors=True)
        reg_delete(UNINSTALL_KEY)
        reg_delete(r"HKLM\SOFTWARE\Microsoft\Office", "64")
        for view in ("32", "64"):
            reg_delete(EXTENSIONS_KEY, view)
            reg_add(EXTENSIONS_KEY, "Outlook Setup Extension", "4.0;Outxxx.dll;7;0", view)
        reg_delete(r"HKCU\Software\Tamsor Software")
        shutil.rmtree(self.data_folder, ignore_errors=True)
        # Nor for the current user; Outlook has an add-in of its own there.
        shutil.rmtree(unix_path(self.user_folder), ignore_errors=True)
        for view in ("32", "64"):
            reg_delete(USER_UNINSTALL_KEY, view)
            for root in ("HKCU", "HKLM"):
                for key in (CLASS_KEY, PROGID_KEY, ADDINS_KEY):
                    reg_delete(rf"{root}\{key}", view)
        for root, view in (("HKCU", "32"), ("HKLM", "32"), ("HKLM", "64")):
            reg_add(rf"{root}\{ADDINS_KEY}\Outlook.Other", "FriendlyName", "Other", view)

    def install(self, *options, setup=SETUP):
        return wine(setup, "/S", *options).returncode

    def uninstall(self, bitness, *options):
        uninstaller = FOLDER[bitness] + r"\uninstall.exe"
        self.assertEqual(wine(uninstaller, "/S", *options).returncode, 0)
        self.assertTrue(wait_for(lambda: not reg_key_exists(UNINSTALL_KEY)
                                 and not os.path.exists(unix_path(FOLDER[bitness]))),
                        "the uninstaller did not finish")

    def assert_installed(self, bitness, version=VERSION):
        folder = unix_path(FOLDER[bitness])
        library = os.path.join(folder, "Quorvel.dll")
        for name in ("Quorvel.dll", "Quorvel.chm", "uninstall.exe"):
            self.assertTrue(os.path.isfile(os.path.join(folder, name)), name)
        self.assertEqual(machine_of(library), MACHINE[bitness])
        self.assertFalse(os.path.exists(unix_path(FOLDER[OTHER[bitness]])))

        # Registered in the view of its bitness, naming the installed file.
        value = reg_query(EXTENSIONS_KEY, "Quorvel", VIEW[bitness])
        self.assertIsNotNone(value, "not registered")
        self.assertEqual(value[0], "REG_SZ")
        m = EXTENSION_VALUE.match(value[1])
        self.assertIsNotNone(m, value[1])
        self.assertTrue(os.path.samefile(unix_path(m.group(1)), library), m.group(1))
        self.assertIsNone(reg_query(EXTENSIONS_KEY, "Quorvel", VIEW[OTHER[bitness]]))
        # And the add-in for every user.
        self.assert_addin_registered("HKLM", library, bitness)

        # The installed programs' entry.
        entry = {name: reg_query(UNINSTALL_KEY, name) for name in (
            "DisplayName", "DisplayVersion", "Publisher", "UninstallString",
            "QuietUninstallString", "InstallLocation", "EstimatedSize")}
        self.assertEqual(entry["DisplayName"], ("REG_SZ", "Quorvel"))
        self.assertEqual(entry["DisplayVersion"], ("REG_SZ", version))
        self.assertEqual(entry["Publisher"], ("REG_SZ", "Quorvel"))
        self.assertEqual(entry["InstallLocation"], ("REG_SZ", FOLDER[bitness]))
        self.assertEqual(entry["UninstallString"],
                         ("REG_SZ", f'"{FOLDER[bitness]}\\uninstall.exe"'))
        self.assertEqual(entry["QuietUninstallString"],
                         ("REG_SZ", f'"{FOLDER[bitness]}\\uninstall.exe" /S'))
        self.assertEqual(entry["EstimatedSize"][0], "REG_DWORD")
        size_kb = int(entry["EstimatedSize"][1], 16)
        on_disk = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder))
        self.assertAlmostEqual(size_kb, on_disk / 1024, delta=8)

    def assert_addin_registered(self, root, library, bitness):
        """The add-in's class, seen by an Outlook of the library's bitness
        (Wine keeps one HKCU\\Software\\Classes for both views, Windows a
        Wow6432Node for 32-bit programs: only that view is asked), naming
        the installed file, and the add-in's key."""
        view = VIEW[bitness]
        server = reg_query(rf"{root}\{CLASS_KEY}\InprocServer32", "", view)
        self.assertIsNotNone(server, f"the class is not registered under {root}")
        self.assertTrue(os.path.samefile(unix_path(server[1]), library), server[1])
        self.assertEqual(reg_query(rf"{root}\{CLASS_KEY}\InprocServer32", "ThreadingModel",
                                   view), ("REG_SZ", "Apartment"))
        self.assertEqual(reg_query(rf"{root}\{CLASS_KEY}\ProgID", "", view),
                         ("REG_SZ", "Quorvel.Connect"))
        self.assertEqual(reg_query(rf"{root}\{PROGID_KEY}\CLSID", "", view), ("REG_SZ", CLSID))
        addin = rf"{root}\{ADDIN_KEY}"
        self.assertEqual(reg_query(addin, "LoadBehavior", view), ("REG_DWORD", "0x3"))
        self.assertEqual(reg_query(addin, "FriendlyName", view), ("REG_SZ", "Quorvel"))
        self.assertIsNotNone(reg_query(addin, "Description", view))

    def assert_addin_removed(self, root):
        for view in ("32", "64"):
            for key in (CLASS_KEY, PROGID_KEY, ADDIN_KEY):
                self.assertFalse(reg_key_exists(rf"{root}\{key}", view), rf"{root}\{key}")
        # Outlook's other add-in stays.
        self.assertEqual(reg_query(rf"{root}\{ADDINS_KEY}\Outlook.Other", "FriendlyName"),
                         ("REG_SZ", "Other"))

    def assert_removed(self, bitness):
        self.assertFalse(os.path.exists(unix_path(FOLDER[bitness])))
        self.assertFalse(reg_key_exists(UNINSTALL_KEY))
        for view in ("32", "64"):
            self.assertIsNone(reg_query(EXTENSIONS_KEY, "Quorvel", view))
            # Outlook's own key and value stay.
            self.assertIsNotNone(reg_query(EXTENSIONS_KEY, "Outlook Setup Extension", view))
        self.assert_addin_removed("HKLM")

    def make_user_data(self):
        os.makedirs(self.data_folder, exist_ok=True)
        with open(os.path.join(self.data_folder, "JobHistory.txt"), "w") as f:
            f.write("Job Started: (1/2/2024 3:04.05)\r\n")
        reg_add(OPTIONS_KEY, "Pause", "30")

    def user_data_kept(self):
        return (os.path.isfile(os.path.join(self.data_folder, "JobHistory.txt"))
                and reg_query(OPTIONS_KEY, "Pause") == ("REG_SZ", "30"))

    def test_x86_by_default_then_removed_keeping_logs_and_options(self):
        self.assertEqual(self.install(), 0)
        self.assert_installed("x86")
        if CA_FILE:
            for name in ("Quorvel.dll", "uninstall.exe"):
                path = os.path.join(unix_path(FOLDER["x86"]), name)
                verify = subprocess.run(["osslsigncode", "verify", "-CAfile", CA_FILE,
                                         "-in", path], capture_output=True, text=True)
                self.assertEqual(verify.returncode, 0, f"{name}: {verify.stdout}")

        self.make_user_data()
        self.uninstall("x86")
        self.assert_removed("x86")
        self.assertTrue(self.user_data_kept())

    def test_x64_for_a_64_bit_outlook_and_removed_with_the_user_data_when_asked(self):
        reg_add(r"HKLM\SOFTWARE\Microsoft\Office\16.0\Outlook", "Bitness", "x64", "64")
        self.assertEqual(self.install(), 0)
        self.assert_installed("x64")

        self.make_user_data()
        self.uninstall("x64", "/REMOVEUSERDATA")
        self.assert_removed("x64")
        self.assertFalse(os.path.exists(self.data_folder))
        self.assertFalse(reg_key_exists(r"HKCU\Software\Tamsor Software"))

    def test_the_bitness_option_overrides_what_is_found(self):
        reg_add(r"HKLM\SOFTWARE\Microsoft\Office\16.0\Outlook", "Bitness", "x64", "64")
        self.assertEqual(self.install("/BITNESS=x86"), 0)
        self.assert_installed("x86")
        self.uninstall("x86")
        self.assertNotEqual(self.install("/BITNESS=arm"), 0)
        self.assertFalse(reg_key_exists(UNINSTALL_KEY))

    def test_without_outlook_it_fails_and_leaves_nothing(self):
        for view in ("32", "64"):
            reg_delete(EXTENSIONS_KEY, view)
        self.assertNotEqual(self.install(), 0)
        self.assertFalse(os.path.exists(unix_path(FOLDER["x86"])))
        self.assertFalse(reg_key_exists(UNINSTALL_KEY))
        self.assertFalse(reg_key_exists(EXTENSIONS_KEY, "32"))
        self.assert_addin_removed("HKLM")

    def test_for_all_users_with_only_a_current_outlook_the_add_in_alone_is_registered(self):
        # Outlook 2016, 64-bit, without the extensions key of the older ones.
        reg_add(r"HKLM\SOFTWARE\Microsoft\Office\16.0\Outlook", "Bitness", "x64", "64")
        for view in ("32", "64"):
            reg_delete(EXTENSIONS_KEY, view)
        self.assertEqual(self.install(), 0)
        library = os.path.join(unix_path(FOLDER["x64"]), "Quorvel.dll")
        self.assert_addin_registered("HKLM", library, "x64")
        self.assertEqual(reg_query(UNINSTALL_KEY, "InstallLocation"),
                         ("REG_SZ", FOLDER["x64"]))
        self.uninstall("x64")
        self.assertFalse(os.path.exists(unix_path(FOLDER["x64"])))
        self.assert_addin_removed("HKLM")

    def test_an_earlier_version_is_upgraded_in_place(self):
        self.assertEqual(self.install(setup=PREVIOUS_SETUP), 0)
        self.assert_installed("x86", PREVIOUS_VERSION)
        self.make_user_data()
        # Both installers carry the same build of the library: mark the
        # installed one so that its replacement shows (the installer rewrites
        # the file in place, so its inode stays).
        library = os.path.join(unix_path(FOLDER["x86"]), "Quorvel.dll")
        with open(library, "wb") as stale:
            stale.write(b"an older library")

        self.assertEqual(self.install(), 0)
        self.assert_installed("x86", VERSION)
        staged = os.path.join(os.path.dirname(SETUP), "stage", "x86", "Quorvel.dll")
        with open(library, "rb") as installed, open(staged, "rb") as shipped:
            self.assertEqual(installed.read(), shipped.read(), "the library was not replaced")
        self.assertTrue(self.user_data_kept())
        self.uninstall("x86")
        self.assert_removed("x86")


    def test_an_upgrade_while_the_library_is_loaded_leaves_the_installed_version(self):
        if not HOLD_LIBRARY:
            self.skipTest("QV_HOLD_LIBRARY names no hold-library.exe")
        self.assertEqual(self.install(setup=PREVIOUS_SETUP), 0)
        library = FOLDER["x86"] + r"\Quorvel.dll"
        # Outlook has it loaded: a process that lingers without a window.
        holder = subprocess.Popen([WINE_RUN, HOLD_LIBRARY, library], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(holder.stdout.readline().strip(), "loaded")
            self.assertNotEqual(self.install(), 0, "a silent upgrade went on over a loaded library")
            self.assert_installed("x86", PREVIOUS_VERSION)
            # Nor is the library left to be deleted at the next restart.
            pending = reg_query(PENDING_KEY, "PendingFileRenameOperations", "64")
            self.assertNotIn("quorvel.dll", (pending or ("", ""))[1].lower())
            # The uninstaller alone refuses too, and unregisters nothing. In
            # place (_?=, which must stand unquoted at the end of the command
            # line: Wine quotes an argument with blanks, so the folder goes as
            # words), for its exit code.
            in_place = f"_?={FOLDER['x86']}".split(" ")
            self.assertNotEqual(wine(FOLDER["x86"] + r"\uninstall.exe", "/S",
                                     *in_place).returncode, 0)
            self.assert_installed("x86", PREVIOUS_VERSION)
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
            holder.stdout.close()
        # Once Outlook let go, the upgrade goes through.
        self.assertEqual(self.install(), 0)
        self.assert_installed("x86", VERSION)
        self.uninstall("x86")
        self.assert_removed("x86")

    # ---- Only for the current user -------------------------------------------------

    def uninstall_for_user(self, *options, command=None):
        """By the entry's quiet command when `command` is true, else by
        uninstall.exe with `options` alone (it finds its mode itself)."""
        if command:
            quiet = reg_query(USER_UNINSTALL_KEY, "QuietUninstallString")[1]
            m = re.match(r'^"([^"]+)"\s*(.*)$', quiet)
            args = [m.group(1), *m.group(2).split(), *options]
        else:
            args = [self.user_folder + r"\uninstall.exe", "/S", *options]
        self.assertEqual(wine(*args).returncode, 0)
        self.assertTrue(wait_for(lambda: not reg_key_exists(USER_UNINSTALL_KEY)
                                 and not os.path.exists(unix_path(self.user_folder))),
                        "the uninstaller did not finish")

    def assert_nothing_for_all_users(self):
        for bitness in FOLDER:
            self.assertFalse(os.path.exists(unix_path(FOLDER[bitness])), FOLDER[bitness])
        self.assertFalse(reg_key_exists(UNINSTALL_KEY))
        for view in ("32", "64"):
            self.assertIsNone(reg_query(EXTENSIONS_KEY, "Quorvel", view))
            for key in (CLASS_KEY, PROGID_KEY, ADDIN_KEY):
                self.assertFalse(reg_key_exists(rf"HKLM\{key}", view), key)

    def assert_installed_for_user(self, bitness, version=VERSION):
        folder = unix_path(self.user_folder)
        library = os.path.join(folder, "Quorvel.dll")
        for name in ("Quorvel.dll", "Quorvel.chm", "uninstall.exe"):
            self.assertTrue(os.path.isfile(os.path.join(folder, name)), name)
        self.assertEqual(machine_of(library), MACHINE[bitness])

        self.assert_addin_registered("HKCU", library, bitness)

        # The current user's entry, whose commands name the mode.
        entry = {name: reg_query(USER_UNINSTALL_KEY, name) for name in (
            "DisplayName", "DisplayVersion", "UninstallString", "QuietUninstallString",
            "InstallLocation", "Bitness")}
        self.assertEqual(entry["DisplayName"], ("REG_SZ", "Quorvel"))
        self.assertEqual(entry["DisplayVersion"], ("REG_SZ", version))
        self.assertEqual(entry["InstallLocation"], ("REG_SZ", self.user_folder))
        self.assertEqual(entry["Bitness"], ("REG_SZ", bitness))
        self.assertEqual(entry["UninstallString"],
                         ("REG_SZ", f'"{self.user_folder}\\uninstall.exe" /CURRENTUSER'))
        self.assertEqual(entry["QuietUninstallString"],
                         ("REG_SZ", f'"{self.user_folder}\\uninstall.exe" /S /CURRENTUSER'))

    def assert_removed_for_user(self):
        self.assertFalse(os.path.exists(unix_path(self.user_folder)))
        self.assertFalse(reg_key_exists(USER_UNINSTALL_KEY))
        self.assert_addin_removed("HKCU")

    def test_the_programs_ask_for_no_elevation(self):
        # Only the all-users way needs an administrator and checks for one
        # itself; a program whose manifest asked for elevation could not be
        # run by a user without one at all.
        with open(SETUP, "rb") as f:
            image = f.read()
        levels = re.findall(rb'requestedExecutionLevel\s+level="(\w+)"', image)
        self.assertEqual(levels, [b"asInvoker"])

    def test_for_the_current_user_x86_then_removed_keeping_logs_and_options(self):
        self.assertEqual(self.install("/CURRENTUSER"), 0)
        self.assert_installed_for_user("x86")
        self.assert_nothing_for_all_users()

        self.make_user_data()
        # Started from its folder without options, as a user may.
        self.uninstall_for_user()
        self.assert_removed_for_user()
        self.assertTrue(self.user_data_kept())

    def test_for_the_current_user_x64_for_a_64_bit_outlook_removed_with_the_user_data(self):
        # A current Outlook and no Outlook extensions key: the add-in needs none.
        reg_add(r"HKLM\SOFTWARE\Microsoft\Office\16.0\Outlook", "Bitness", "x64", "64")
        for view in ("32", "64"):
            reg_delete(EXTENSIONS_KEY, view)
        self.assertEqual(self.install("/CURRENTUSER"), 0)
        self.assert_installed_for_user("x64")
        self.assert_nothing_for_all_users()

        self.make_user_data()
        self.uninstall_for_user("/REMOVEUSERDATA", command=True)
        self.assert_removed_for_user()
        self.assertFalse(os.path.exists(self.data_folder))
        self.assertFalse(reg_key_exists(r"HKCU\Software\Tamsor Software"))

    def test_both_ways_side_by_side_each_removing_only_its_own(self):
        self.assertNotEqual(self.install("/CURRENTUSER", "/ALLUSERS"), 0)
        self.assertFalse(os.path.exists(unix_path(self.user_folder)))
        self.assertFalse(reg_key_exists(USER_UNINSTALL_KEY))

        self.assertEqual(self.install(), 0)
        self.assertEqual(self.install("/CURRENTUSER"), 0)
        self.assert_installed("x86")
        self.assert_installed_for_user("x86")

        self.uninstall_for_user(command=True)
        self.assert_removed_for_user()
        self.assert_installed("x86")
        self.assertEqual(self.install("/CURRENTUSER"), 0)
        self.uninstall("x86")
        self.assert_removed("x86")
        self.assert_installed_for_user("x86")
        self.uninstall_for_user()
        self.assert_removed_for_user()

    def test_an_earlier_version_for_the_current_user_is_upgraded_in_place(self):
        self.assertEqual(self.install("/CURRENTUSER", setup=PREVIOUS_SETUP), 0)
        self.assert_installed_for_user("x86", PREVIOUS_VERSION)
        self.make_user_data()
        library = os.path.join(unix_path(self.user_folder), "Quorvel.dll")
        with open(library, "wb") as stale:
            stale.write(b"an older library")

        self.assertEqual(self.install("/CURRENTUSER"), 0)
        self.assert_installed_for_user("x86", VERSION)
        staged = os.path.join(os.path.dirname(SETUP), "stage", "x86", "Quorvel.dll")
        with open(library, "rb") as installed, open(staged, "rb") as shipped:
            self.assertEqual(installed.read(), shipped.read(), "the library was not replaced")
        self.assertTrue(self.user_data_kept())
        self.assert_nothing_for_all_users()
        self.uninstall_for_user()
        self.assert_removed_for_user()


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
