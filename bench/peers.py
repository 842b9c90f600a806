#!/usr/bin/env python3
"""The peer benchmark: one generated delivery installed silently four ways
under the same Wine, each run in a fresh prefix of its own, in interleaved
rounds; every run is checked, and the medians are compared with the 32-bit
plain copy. bench/peers.sh installs and builds what this needs and starts it.

  copy   a batch file run by the 32-bit `cmd /c`: the same files to the same
         targets with cmd's own copy (or xcopy), nothing else (the floor)
  msi    an MSI built with wixl, `msiexec /qn /i`
  nsis   an NSIS installer, `/S`, its Library macro for the components
  lumo   LumoInstall.exe /S, the i686 build
"""

import argparse
import codecs
import filecmp
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import uuid

BIN = ["Common Files", "Business Objects", "3.0", "bin"]
# What the test component's DllRegisterServer counts, by its module's path.
REGISTERED_KEY = r"Software\LumoInstallTests\DllRegisterServer"
SHARED_KEY = r"Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
# The 32-bit system folder as a 32-bit program names it, and as it is.
SYSTEM_FOLDERS = (r"c:\windows\system32", r"c:\windows\syswow64")
PEERS = ["copy", "msi", "nsis", "lumo"]
TITLES = {
    "copy": "plain copy, 32-bit `cmd /c {floor}`",
    "msi": "MSI built with `wixl`, `msiexec /qn` (writes the components' registry values itself, loads none)",
    "nsis": "NSIS {nsis}, `/S`, its Library macro (version test, `DllRegisterServer`, shared count, "
            "replace at restart)",
    "lumo": "`LumoInstall.exe /S`, i686",
}
NAMESPACE = uuid.UUID("5d0c6f2e-2b1a-4c59-9a57-1f3b0e6a7c11")


def fail(message):
    raise SystemExit("peers: " + message)


def win_path(path):
    """A Linux path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# --- the payload --------------------------------------------------------------


def folder_layout():
    """The application folders, nested three deep below four modules."""
    folders = [""]
    for module in range(1, 5):
        base = "Modulo%d" % module
        folders += [base, base + "\\Dati", base + "\\Dati\\Archivio"]
    return folders


def generate(payload, files, megabytes, components, component_dll):
    """FilesToCopy: `files` files of `megabytes` MB in all, sizes spread from a
    fifth to nine fifths of the mean, bytes that do not compress. SysFile:
    `components` copies of the versioned test component under names of their
    own. Returns the application files (folder, name) and the components."""
    rng = random.Random(20240530)
    folders = folder_layout()
    total = megabytes * 1024 * 1024
    mean = total // files
    sizes = [mean // 5 + rng.randrange(mean * 8 // 5) for _ in range(files)]
    sizes[-1] = max(1, total - sum(sizes[:-1]))
    app = []
    for i, size in enumerate(sizes):
        folder = folders[i % len(folders)]
        name = "app%d.%s" % (i, "dll" if i % 3 == 0 else "dat")
        directory = os.path.join(payload, "FilesToCopy", *parts_of(folder))
        os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, name), "wb") as out:
            out.write(rng.randbytes(size))
        app.append((folder, name))
    sys_dir = os.path.join(payload, "SysFile")
    os.makedirs(sys_dir, exist_ok=True)
    comps = ["lumopeer%03d.dll" % i for i in range(components)]
    with open(component_dll, "rb") as dll:
        image = bytearray(dll.read())
    # Each copy gets a link time of its own, as different components have:
    # Wine's loader compares a library it loads with every loaded one of the
    # same link time, and an installer that keeps its components loaded
    # would pay for copies of one file what no real delivery costs.
    header = int.from_bytes(image[0x3C:0x40], "little")
    stamp_at = header + 8
    if image[header:header + 4] != b"PE\0\0":
        fail("not a PE image: " + component_dll)
    stamp = int.from_bytes(image[stamp_at:stamp_at + 4], "little")
    for index, name in enumerate(comps):
        image[stamp_at:stamp_at + 4] = ((stamp + index + 1) & 0xFFFFFFFF).to_bytes(4, "little")
        with open(os.path.join(sys_dir, name), "wb") as out:
            out.write(image)
    return app, comps


def parts_of(folder):
    return folder.split("\\") if folder else []


def source_of(payload, folder, name):
    return os.path.join(payload, "FilesToCopy", *parts_of(folder), name)


def target_parts(folder):
    """Where the application files of one folder land below Program Files."""
    return parts_of(folder) + BIN


# --- the four deliveries ------------------------------------------------------


def make_lumo(payload, installer, files, components):
    shutil.copyfile(installer, os.path.join(payload, "LumoInstall.exe"))
    ini = (
        "[DESCRIZIONI]\r\nCaption=Confronto\r\nNumeroFiles=%d\r\nNumeroSysFiles=%d\r\n"
        "[PRODOTTO]\r\nNome=Confronto\r\nVersione=1.0.0.0\r\nProduttore=LumoInstall\r\n"
        "[CHIAVI]\r\nPathKey=Software\\LumoInstall\\Confronto\r\nInstallationDir=C:\\Confronto\r\n"
        % (files, components)
    )
    with open(os.path.join(payload, "Installatore.ini"), "wb") as out:
        out.write(ini.encode("cp1252"))
    return [win_path(os.path.join(payload, "LumoInstall.exe")), "/S"]


def make_copy(work, payload, app, tool):
    """The same files to the same targets, and nothing else: each folder's
    files to the shared bin folder of its mirrored folder, the components to
    the 32-bit system folder. With cmd's own copy the whole copy is one
    32-bit process; xcopy adds one for each folder."""
    lines = ["@echo off"]
    pairs = []
    for folder in sorted({folder for folder, _ in app}):
        source = win_path(os.path.join(payload, "FilesToCopy", *parts_of(folder)))
        pairs.append((source, "\\".join([r"C:\Program Files (x86)"] + target_parts(folder))))
    # A 32-bit cmd sees the 32-bit system folder as System32.
    pairs.append((win_path(os.path.join(payload, "SysFile")), r"C:\Windows\System32"))
    for source, target in pairs:
        if tool == "xcopy":
            lines.append('xcopy /q /y /i "%s\\*" "%s\\" >nul' % (source, target))
        else:
            lines.append('if not exist "%s\\" md "%s"' % (target, target))
            lines.append('copy /b /y "%s\\*" "%s\\" >nul' % (source, target))
    # Wine's cmd gives no error level to trust here (copy sets one when the
    # pattern also matches folders, which it leaves alone); the check after
    # the run sees whether every file arrived.
    lines.append("exit /b 0")
    batch = os.path.join(work, "copy.cmd")
    with open(batch, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n").encode("ascii"))
    return [r"C:\Windows\System32\cmd.exe", "/c", win_path(batch)]


def make_nsis(work, payload, app, comps):
    """The application files by File, each folder's to its bin folder; each
    component by InstallLib: version check against the file there, copy (or
    a temporary file renamed at restart when the target is in use),
    DllRegisterServer through RegDLL, and the shared count, which the macro
    raises when its `shared` argument is empty (a first installation)."""
    out_file = os.path.join(work, "nsis", "PeerSetup.exe")
    os.makedirs(os.path.dirname(out_file), exist_ok=True)
    lines = [
        "Unicode true",
        'Name "Confronto"',
        'OutFile "%s"' % out_file,
        "RequestExecutionLevel admin",
        "!include Library.nsh",
        "Var ALREADY_INSTALLED",
        "Section",
    ]
    for folder in sorted({folder for folder, _ in app}):
        lines.append('  SetOutPath "$PROGRAMFILES32\\%s"' % "\\".join(target_parts(folder)))
        lines.append('  File "%s/*"' % os.path.join(payload, "FilesToCopy", *parts_of(folder)))
    for name in comps:
        lines.append(
            '  !insertmacro InstallLib REGDLL $ALREADY_INSTALLED REBOOT_NOTPROTECTED "%s" "$SYSDIR\\%s" "$SYSDIR"'
            % (os.path.join(payload, "SysFile", name), name)
        )
    lines.append("SectionEnd")
    script = os.path.join(work, "nsis", "peers.nsi")
    with open(script, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    result = subprocess.run(["makensis", "-V2", script], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        fail("makensis failed:\n" + result.stdout)
    return [win_path(out_file), "/S"]


def xml(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def make_msi(work, payload, app, comps):
    """One component a file, as wixl-heat makes them. The application files
    below ProgramFilesFolder, the components in SystemFolder, each with the
    value its DllRegisterServer would write, written by the installer: wixl
    has no SelfReg, and the MSI loads no component."""
    guid = lambda key: str(uuid.uuid5(NAMESPACE, key)).upper()
    msi_dir = os.path.join(work, "msi")
    # wixl takes sources relative to the folder it runs in.
    relative = lambda path: os.path.relpath(path, msi_dir)
    tree = {}  # path parts -> (id, {child name: parts}, [files])
    counter = [0]

    def node(parts):
        parts = tuple(parts)
        if parts not in tree:
            counter[0] += 1
            tree[parts] = ("D%d" % counter[0], {}, [])
            if parts:
                node(parts[:-1])[1][parts[-1]] = parts
        return tree[parts]

    for index, (folder, name) in enumerate(app):
        node(target_parts(folder))[2].append((index, folder, name))
    refs = []

    def emit(parts, depth):
        directory_id, children, files = tree[parts]
        pad = "  " * depth
        out = []
        for index, folder, name in files:
            refs.append("A%d" % index)
            out.append('%s<Component Id="A%d" Guid="%s"><File Id="FA%d" Name="%s" Source="%s" KeyPath="yes"/></Component>'
                       % (pad, index, guid("app:" + folder + "\\" + name), index, xml(name),
                          xml(relative(source_of(payload, folder, name)))))
        for child in sorted(children):
            child_parts = children[child]
            out.append('%s<Directory Id="%s" Name="%s">' % (pad, tree[child_parts][0], xml(child)))
            out += emit(child_parts, depth + 1)
            out.append("%s</Directory>" % pad)
        return out

    node(())
    body = ['      <Directory Id="ProgramFilesFolder">'] + emit((), 4) + ["      </Directory>"]
    body.append('      <Directory Id="SystemFolder">')
    for index, name in enumerate(comps):
        refs.append("S%d" % index)
        body.append(
            '        <Component Id="S%d" Guid="%s"><File Id="FS%d" Name="%s" Source="%s" KeyPath="yes"/>'
            '<RegistryValue Root="HKCU" Key="%s" Name="[SystemFolder]%s" Type="integer" Value="1"/></Component>'
            % (index, guid("sys:" + name), index, name, xml(relative(os.path.join(payload, "SysFile", name))),
               REGISTERED_KEY, name)
        )
    body.append("      </Directory>")
    wxs = "\n".join(
        [
            '<?xml version="1.0" encoding="utf-8"?>',
            '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
            '  <Product Id="%s" Name="Confronto" Language="1033" Version="1.0.0" Manufacturer="LumoInstall"'
            ' UpgradeCode="%s">' % (guid("product"), guid("upgrade")),
            '    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>',
            '    <Media Id="1" Cabinet="peers.cab" EmbedCab="yes"/>',
            '    <Directory Id="TARGETDIR" Name="SourceDir">',
        ]
        + body
        + ['    </Directory>', '    <Feature Id="Complete" Level="1">']
        + ['      <ComponentRef Id="%s"/>' % ref for ref in refs]
        + ["    </Feature>", "  </Product>", "</Wix>", ""]
    )
    source = os.path.join(msi_dir, "peers.wxs")
    os.makedirs(msi_dir, exist_ok=True)
    with open(source, "w", encoding="utf-8") as out:
        out.write(wxs)
    msi = os.path.join(msi_dir, "peers.msi")
    result = subprocess.run(["wixl", "-a", "x86", "-o", msi, source], cwd=msi_dir, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        fail("wixl failed:\n" + result.stdout)
    # The 64-bit msiexec, the one a 64-bit system starts for /i.
    return [r"C:\Windows\Sysnative\msiexec.exe", "/qn", "/i", win_path(msi)]


# --- Wine ---------------------------------------------------------------------


class Wine:
    def __init__(self, prefix):
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.prefix = prefix

    def run(self, *args, check=True):
        # Output through files, not pipes: the server and the services a
        # program starts outlive it and would hold a pipe open.
        with tempfile.TemporaryFile("w+", errors="replace") as out, \
                tempfile.TemporaryFile("w+", errors="replace") as err:
            code = subprocess.run(list(args), env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err).returncode
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(args, code, out.read(), err.read())
        if check and result.returncode != 0:
            fail("%s failed (%d): %s" % (" ".join(args), result.returncode, result.stderr.strip()[-2000:]))
        return result

    def stop(self):
        self.run("wineserver", "-k", check=False)
        self.run("wineserver", "-w", check=False)


def make_pristine(prefix):
    shutil.rmtree(prefix, ignore_errors=True)
    wine = Wine(prefix)
    wine.run("wineboot", "-i", check=False)
    wine.run("wineserver", "-w", check=False)
    # A crash must end the run at once, not wait on the debugger's dialog.
    wine.run("wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
             "/d", "0", "/f")
    wine.stop()
    if not os.path.isfile(os.path.join(prefix, "system.reg")):
        fail("wineboot made no prefix in " + prefix)


def fresh_prefix(pristine, prefix):
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cp", "-a", pristine, prefix], check=True)
    # The copy's writing must not go on during the run.
    os.sync()


def read_reg(path):
    """Values of a file written by `reg export`, by key: {key: {name: value}}."""
    with open(path, "rb") as data:
        raw = data.read()
    text = raw.decode("utf-16") if raw.startswith(codecs.BOM_UTF16_LE) else raw.decode("utf-8", "replace")
    keys, key = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1].lower()
            keys[key] = {}
        elif key is not None and line.startswith('"') and '"=' in line:
            name, value = line[1:].split('"=', 1)
            keys[key][name.replace("\\\\", "\\").lower()] = value
    return keys


def export_key(wine, key, view, target):
    """The key's values, none when it is missing."""
    if os.path.exists(target):
        os.remove(target)
    if wine.run("wine", "reg", "export", key, win_path(target), "/y", view, check=False).returncode != 0:
        return {}
    return read_reg(target).get(key.lower().replace("hkcu\\", "hkey_current_user\\").replace(
        "hklm\\", "hkey_local_machine\\"), {})


def registered_count(values, name):
    """The count a component got in a registry value named by its path in the
    32-bit system folder, however the installer named that folder."""
    counts = [values.get(folder + "\\" + name) for folder in SYSTEM_FOLDERS]
    counts = [count for count in counts if count is not None]
    return counts[0] if len(counts) == 1 else ("twice" if counts else None)


def check_run(peer, wine, payload, app, comps, work):
    """Every file at its target, byte for byte; every component registered
    once (the MSI: the value written by it); the shared counts where the
    installer keeps them."""
    drive = os.path.join(wine.prefix, "drive_c")
    problems = []
    for folder, name in app:
        target = os.path.join(drive, "Program Files (x86)", *target_parts(folder), name)
        if not os.path.isfile(target) or not filecmp.cmp(source_of(payload, folder, name), target, shallow=False):
            problems.append("application file missing or different: " + target)
    for name in comps:
        target = os.path.join(drive, "windows", "syswow64", name)
        if not os.path.isfile(target) or not filecmp.cmp(os.path.join(payload, "SysFile", name), target,
                                                         shallow=False):
            problems.append("component missing or different: " + target)

    def every_component_once(root, key, view, what):
        values = export_key(wine, root + "\\" + key, view, os.path.join(work, what + ".reg"))
        for name in comps:
            count = registered_count(values, name)
            if count != "dword:00000001":
                problems.append("%s: %s is %s (expected 1)" % (name, what, count or "missing"))

    if peer != "copy":
        every_component_once("HKCU", REGISTERED_KEY, "/reg:64", "registered")
    if peer in ("nsis", "lumo"):
        every_component_once("HKLM", SHARED_KEY, "/reg:32", "shared")
    if problems:
        fail("%s did not do the job (%d problems):\n  %s" % (peer, len(problems), "\n  ".join(problems[:20])))


def timed_run(wine, timer, command):
    """The installer's process alone, timed inside Wine by the 32-bit timer,
    with the prefix's server and services already up."""
    wine.run("wineserver", "-p")
    wine.run("wine", "cmd", "/c", "exit")
    result = wine.run("wine", timer, *command)
    fields = result.stdout.split()
    if len(fields) < 2:
        fail("no time from the timer: %r %r" % (result.stdout, result.stderr[-2000:]))
    return float(fields[-2]), int(fields[-1])


# --- the benchmark ------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=2000, help="application files (default 2000)")
    parser.add_argument("--megabytes", type=int, default=100, help="their size in all (default 100)")
    parser.add_argument("--components", type=int, default=300, help="system components (default 300)")
    parser.add_argument("--rounds", type=int, default=3, help="interleaved rounds (default 3)")
    parser.add_argument("--work", required=True, help="work folder, removed at the end (kept with --keep or after a failed run)")
    parser.add_argument("--installer", required=True, help="the i686 LumoInstall.exe")
    parser.add_argument("--component", required=True, help="the i686 test component (DllRegisterServer S_OK)")
    parser.add_argument("--timer", required=True, help="peer_timer.exe")
    parser.add_argument("--floor", choices=["copy", "xcopy"], default="copy",
                        help="the plain copy: cmd's own copy (default), or one xcopy process a folder")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    options = parser.parse_args()
    if options.files < 1 or options.megabytes < 1 or options.components < 1 or options.rounds < 1:
        fail("sizes and rounds must be positive")
    if options.megabytes * 1024 * 1024 // options.files < 5:
        fail("too many files for so few megabytes")

    work = os.path.abspath(options.work)
    shutil.rmtree(work, ignore_errors=True)
    payload = os.path.join(work, "delivery")
    print("generating %d application files (%d MB) in %d folders and %d components"
          % (options.files, options.megabytes, len(folder_layout()), options.components), flush=True)
    app, comps = generate(payload, options.files, options.megabytes, options.components, options.component)

    print("building the MSI (wixl) and the NSIS installer (makensis)", flush=True)
    commands = {
        "copy": make_copy(work, payload, app, options.floor),
        "msi": make_msi(work, payload, app, comps),
        "nsis": make_nsis(work, payload, app, comps),
        "lumo": make_lumo(payload, options.installer, options.files, options.components),
    }
    nsis_version = subprocess.run(["makensis", "-VERSION"], stdout=subprocess.PIPE, text=True).stdout.strip()

    print("creating the pristine Wine prefix", flush=True)
    pristine = os.path.join(work, "pristine-prefix")
    make_pristine(pristine)
    for name in comps:
        if os.path.exists(os.path.join(pristine, "drive_c", "windows", "syswow64", name)):
            fail("the prefix already holds a file named " + name)

    prefix = os.path.join(work, "prefix")
    times = {peer: [] for peer in PEERS}
    finished = False
    try:
        for round_number in range(1, options.rounds + 1):
            for peer in PEERS:
                fresh_prefix(pristine, prefix)
                wine = Wine(prefix)
                try:
                    seconds, exit_code = timed_run(wine, options.timer, commands[peer])
                    if exit_code != 0:
                        fail("%s ended with exit code %d" % (peer, exit_code))
                    check_run(peer, wine, payload, app, comps, work)
                finally:
                    wine.stop()
                times[peer].append(seconds)
                print("round %d  %-5s %8.3f s  checked" % (round_number, peer, seconds), flush=True)
        finished = True
    finally:
        if not finished:
            print("peers: the failed run's prefix is kept in " + prefix, file=sys.stderr)
        elif options.keep:
            shutil.rmtree(prefix, ignore_errors=True)
        else:
            shutil.rmtree(work, ignore_errors=True)

    medians = {peer: statistics.median(times[peer]) for peer in PEERS}
    floor = medians["copy"]
    print()
    print("%d application files (%d MB) in nested folders, %d components; median of %d interleaved rounds"
          % (options.files, options.megabytes, options.components, options.rounds))
    print()
    print("| | median | / 32-bit plain copy |")
    print("|---|---|---|")
    for peer in PEERS:
        title = TITLES[peer].format(nsis=nsis_version.lstrip("v").split("-")[0], floor=options.floor)
        print("| %s | %.1f s | %.2f |" % (title, medians[peer], medians[peer] / floor))
    print()
    for peer in PEERS:
        print("%-5s %s" % (peer, "  ".join("%.3f" % seconds for seconds in times[peer])))
    print("LumoInstall.exe /S / NSIS: %.2f" % (medians["lumo"] / medians["nsis"]))
    print("LumoInstall.exe /S / MSI:  %.2f" % (medians["lumo"] / medians["msi"]))


if __name__ == "__main__":
    main()
