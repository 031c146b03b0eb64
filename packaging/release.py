#!/usr/bin/env python3
"""What a Quorvel release contains, and the Windows Installer package.

Used by scripts/package (the zip and both MSIs) and by the build, which
makes the MSI of its own programs (target quorvel_msi):

    release.py msi --arch x64|x86 --build-dir DIR --output FILE.msi
    release.py check-links        the packaged documents' links resolve

The MSI installs for the signed-in user only (no administrator), under
%LOCALAPPDATA%\\Programs\\Quorvel:

    Quorvel.exe qvclient.exe QuorvelChat.exe qvprobe.exe QuorvelStart.exe
    JOX-UDP.ini             the defaults, read by the relay at start
    README.md docs/ sdk/ dissector/

with Start-menu entries "Quorvel Chat", "Quorvel Relais" (QuorvelStart.exe,
which starts the relay in its folder unless one runs) and "Quorvel beenden"
(QuorvelStart.exe /stop, which closes the running relay) and, in the feature
"Autostart" (on unless AUTOSTART=0 is given), the value "Quorvel" under
HKCU\\...\\CurrentVersion\\Run that runs QuorvelStart.exe. Both
architectures share one UpgradeCode: a machine has one Quorvel, and a newer
package of either replaces the older one.

The user's JOX-UDP.ini is theirs: it is installed only where none is, and an
upgrade keeps it (the older package is removed after the newer one is in
place, so the file's component never leaves). Uninstalling removes it with
the rest, and the log files (*.log, *.log.1) in the install folder. Before
anything is installed or removed, a running relay is closed as a close
request does (QuorvelStart.exe /stop, run from the package itself), so that
no program file is in use and nothing keeps running.

Only the standard library is used; the MSI is made by wixl and msibuild
(msitools).
"""

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
import uuid
import xml.etree.ElementTree as ET
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
PROGRAMS = ["Quorvel.exe", "qvclient.exe", "QuorvelChat.exe", "qvprobe.exe", "QuorvelStart.exe"]
SETTINGS = ("docs/JOX-UDP.ini", "JOX-UDP.ini")  # beside the relay
DOCUMENTS = [  # (source in the repo, place in the package); the same in the zip and the MSI
    ("docs/windows-readme.md", "README.md"),
    ("docs/operating.md", "docs/operating.md"),
    ("docs/protocol.md", "docs/protocol.md"),
    ("docs/clients.md", "docs/clients.md"),
    ("docs/performance.md", "docs/performance.md"),
    ("docs/JOX-UDP.ini", "docs/JOX-UDP.ini"),
    ("sdk/quorvel_client.h", "sdk/quorvel_client.h"),
    ("sdk/quorvel_client.c", "sdk/quorvel_client.c"),
    ("sdk/quorvel_wire.h", "sdk/quorvel_wire.h"),
    ("tools/dissector/quorvel.lua", "dissector/quorvel.lua"),
]

# Never change: Windows Installer recognises older Quorvel installations by it.
UPGRADE_CODE = "7E0B6C52-3F1A-4D8E-9C27-5A4B1E6D2F90"
# Component GUIDs are derived from this and the component's name, so that
# they stay the same from one build to the next.
COMPONENT_NAMESPACE = uuid.UUID("0F3C9A41-8B7E-4C55-A2D6-91E04B7C3A18")
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
PRODUCT_KEY = r"Software\Quorvel"
SHORTCUTS = [  # (id, name in the Start menu, program, arguments, description)
    ("ChatShortcut", "Quorvel Chat", "QuorvelChat.exe", "", "Mit einem Partner auf einem anderen Rechner chatten"),
    ("RelayShortcut", "Quorvel Relais", "QuorvelStart.exe", "",
     "Das Quorvel-Relais starten, wenn es nicht schon l\u00e4uft"),
    ("StopShortcut", "Quorvel beenden", "QuorvelStart.exe", "/stop", "Das laufende Quorvel-Relais beenden"),
]
STOP_OPTION = "/stop"
# Windows Installer's sequence numbers: the relay is closed after the costing
# (CostFinalize, 1000) and before files are checked for use (InstallValidate,
# 1400); the older package is removed after InstallFinalize (6600).
STOP_RELAY_SEQUENCE = 1300
REMOVE_OLDER_SEQUENCE = 6700
NEVER_OVERWRITE = 128  # msidbComponentAttributesNeverOverwrite
EXE_FROM_BINARY_IGNORING_EXIT = 2 + 64  # msidbCustomActionTypeExe | BinaryData, Continue
LOG_FILES = ("*.log", "*.log.1")  # removed from the install folder on uninstall
WIX = "http://schemas.microsoft.com/wix/2006/wi"


class ReleaseError(Exception):
    pass


def version():
    text = (REPO / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*Quorvel\b[^)]*\bVERSION\s+([0-9][0-9.]*)", text)
    if not match:
        raise ReleaseError("no project VERSION in CMakeLists.txt")
    return match.group(1)


# ---------------------------------------------------------------- links

_LINK = re.compile(r"\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
_FENCE = re.compile(r"^(```|~~~)")


def _anchor(heading):
    """The anchor a Markdown renderer gives a heading: lower case, spaces to
    hyphens, punctuation other than hyphens and underscores dropped."""
    text = re.sub(r"[`*]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def _anchors(text):
    anchors, fenced = set(), False
    for line in text.splitlines():
        if _FENCE.match(line):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            anchors.add(_anchor(line.lstrip("#")))
    return anchors


def _links(text):
    links, fenced = [], False
    for number, line in enumerate(text.splitlines(), 1):
        if _FENCE.match(line):
            fenced = not fenced
        elif not fenced and not line.startswith("    "):
            links += [(number, target) for target in _LINK.findall(re.sub(r"`[^`]*`", "", line))]
    return links


def broken_links(files):
    """files: {place in the package: text of the file}. Every relative link
    of every Markdown file (and its #anchor, when it points at Markdown) must
    name a file of the package. Returns "place:line: target (why)" lines."""
    problems = []
    for place, text in sorted(files.items()):
        if not place.endswith(".md"):
            continue
        for number, target in _links(text):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target, re.IGNORECASE):
                continue  # https:, mailto: and the like
            path, _, fragment = target.partition("#")
            if path:
                resolved = (Path(place).parent / path).as_posix()
                parts = []
                for part in resolved.split("/"):
                    if part == "..":
                        if not parts:
                            parts = None
                            break
                        parts.pop()
                    elif part not in ("", "."):
                        parts.append(part)
                resolved = "/".join(parts) if parts is not None else None
            else:
                resolved = place
            if resolved is None or resolved not in files:
                problems.append(f"{place}:{number}: {target} (not in the package)")
            elif fragment and resolved.endswith(".md") and fragment not in _anchors(files[resolved]):
                problems.append(f"{place}:{number}: {target} (no such heading)")
    return problems


def packaged_documents():
    """{place: text} of the documents every package carries."""
    files = {}
    for source, place in DOCUMENTS + [SETTINGS]:
        path = REPO / source
        if not path.is_file():
            raise ReleaseError(f"{source} is missing")
        files[place] = path.read_text(encoding="utf-8", errors="replace")
    return files


def check_links():
    problems = broken_links(packaged_documents())
    if problems:
        raise ReleaseError("links in the packaged documents lead nowhere:\n  " + "\n  ".join(problems))


# ---------------------------------------------------------------- MSI

def _guid(name, architecture):
    return str(uuid.uuid5(COMPONENT_NAMESPACE, f"{architecture}/{name}")).upper()


def _identifier(text):
    return re.sub(r"[^A-Za-z0-9_.]", "_", text)


def installer_source(build_dir, architecture, product_version, stage):
    """The WiX source of the package, as an ElementTree; the files it names
    are copied into the directory `stage`."""
    ET.register_namespace("", WIX)

    def element(parent, tag, **attributes):
        return ET.SubElement(parent, f"{{{WIX}}}{tag}", {k: str(v) for k, v in attributes.items()})

    root = ET.Element(f"{{{WIX}}}Wix")
    product = element(root, "Product", Id="*", Name="Quorvel", Language="1031", Codepage="1252",
                      Version=product_version, Manufacturer="Quorvel", UpgradeCode=UPGRADE_CODE)
    element(product, "Package", InstallerVersion="500", Compressed="yes", InstallScope="perUser",
            Description=f"Quorvel {product_version} ({architecture})")
    element(product, "MajorUpgrade",
            DowngradeErrorMessage="Eine neuere Version von Quorvel ist bereits installiert.")
    element(product, "Media", Id="1", Cabinet="quorvel.cab", EmbedCab="yes")
    element(product, "Property", Id="AUTOSTART", Value="1")

    target = element(product, "Directory", Id="TARGETDIR", Name="SourceDir")
    local = element(element(target, "Directory", Id="LocalAppDataFolder"), "Directory",
                    Id="LocalProgramsFolder", Name="Programs")
    install_dir = element(local, "Directory", Id="INSTALLDIR", Name="Quorvel")
    components = []

    def component(directory, name, keypath_registry=False):
        made = element(directory, "Component", Id=name, Guid=_guid(name, architecture))
        if keypath_registry:
            element(made, "RegistryValue", Root="HKCU", Key=PRODUCT_KEY, Name=name, Type="integer", Value="1",
                    KeyPath="yes")
        components.append(name)
        return made

    def add_file(directory, source, name):
        # wixl takes sources relative to the directory it runs in: the files
        # are staged there under their place in the package.
        staged = Path(stage) / name
        staged.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, staged)
        made = component(directory, "File." + _identifier(name))
        element(made, "File", Id=_identifier(name), Name=Path(name).name, Source=name, KeyPath="yes")

    for program in PROGRAMS:
        source = Path(build_dir) / program
        if not source.is_file():
            raise ReleaseError(f"{source} was not built")
        add_file(install_dir, source, program)
    add_file(install_dir, REPO / SETTINGS[0], SETTINGS[1])

    sub_dirs = {}
    for source, place in DOCUMENTS:
        directory = install_dir
        folder = Path(place).parent.as_posix()
        if folder != ".":
            if folder not in sub_dirs:
                sub_dirs[folder] = element(install_dir, "Directory", Id="Dir." + _identifier(folder), Name=folder)
                removal = component(sub_dirs[folder], "Folder." + _identifier(folder), keypath_registry=True)
                element(removal, "RemoveFolder", Id="Remove." + _identifier(folder), On="uninstall")
            directory = sub_dirs[folder]
        add_file(directory, REPO / source, place)

    folders = component(install_dir, "InstallFolder", keypath_registry=True)
    element(folders, "RemoveFolder", Id="RemoveInstallDir", On="uninstall")
    # Removed only when empty: other programs install there too.
    programs = component(local, "LocalProgramsFolder", keypath_registry=True)
    element(programs, "RemoveFolder", Id="RemoveLocalPrograms", On="uninstall")

    menu = element(element(target, "Directory", Id="ProgramMenuFolder"), "Directory", Id="QuorvelMenu",
                   Name="Quorvel")
    shortcuts = component(menu, "StartMenu", keypath_registry=True)
    for identifier, name, program, arguments, description in SHORTCUTS:
        made = element(shortcuts, "Shortcut", Id=identifier, Name=name, Description=description,
                       Target=f"[INSTALLDIR]{program}", WorkingDirectory="INSTALLDIR")
        if arguments:
            made.set("Arguments", arguments)
    element(shortcuts, "RemoveFolder", Id="RemoveMenu", On="uninstall")

    main_feature = element(product, "Feature", Id="Quorvel", Title="Quorvel", Level="1",
                           Description="Relais, Chat, Konsolenclient und qvprobe", Absent="disallow")
    for name in components:
        element(main_feature, "ComponentRef", Id=name)

    autostart = component(install_dir, "Autostart")
    element(autostart, "RegistryValue", Root="HKCU", Key=RUN_KEY, Name="Quorvel", Type="string",
            Value='"[INSTALLDIR]QuorvelStart.exe"', KeyPath="yes")
    components.remove("Autostart")
    feature = element(main_feature, "Feature", Id="Autostart", Title="Quorvel beim Anmelden starten", Level="1",
                      Description="Startet das Relais bei jeder Anmeldung, in seinem Ordner")
    element(feature, "ComponentRef", Id="Autostart")
    return ET.ElementTree(root)


def _run(argv, cwd=None):
    result = subprocess.run(argv, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise ReleaseError(f"{' '.join(map(str, argv))} failed ({result.returncode}):\n"
                           f"{result.stdout.decode(errors='replace').strip()}")
    return result.stdout.decode(errors="replace")


def make_msi(build_dir, architecture, output, product_version=None):
    """Makes the MSI of the programs in build_dir; product_version defaults
    to the project's."""
    for tool in ("wixl", "msibuild"):
        if not shutil.which(tool):
            raise ReleaseError(f"{tool} is missing (Debian: msitools, wixl; scripts/setup installs them)")
    output = Path(output)
    output.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        source = Path(work) / "quorvel.wxs"
        stage = Path(work) / "files"
        installer_source(build_dir, architecture, product_version or version(), stage).write(
            source, encoding="windows-1252", xml_declaration=True)
        partial = Path(work) / "quorvel.msi"
        _run(["wixl", "--arch", architecture, "--output", str(partial), str(source)], cwd=stage)
        # AUTOSTART=0 leaves the sign-in entry out; wixl has no feature
        # conditions, so the row goes in afterwards.
        (Path(work) / "Condition.idt").write_text(
            "Feature_\tLevel\tCondition\ns38\ti2\tS255\nCondition\tFeature_\tLevel\n"
            'Autostart\t0\tAUTOSTART = "0"\n')
        _run(["msibuild", str(partial), "-i", str(Path(work) / "Condition.idt")])
        _add_what_wixl_cannot_say(partial, Path(work), stage)
        shutil.move(str(partial), output)
    return output


def _add_what_wixl_cannot_say(msi, work, stage):
    """The settings file that is never overwritten, the late removal of an
    older package, the closing of a running relay and the removal of the log
    files: wixl writes none of them, so they go into its tables afterwards."""
    settings_component = "File." + _identifier(SETTINGS[1])
    # The closing runs the package's own QuorvelStart.exe: an installed older
    # one may not know /stop.
    binaries = work / "Binary"
    binaries.mkdir()
    shutil.copyfile(stage / "QuorvelStart.exe", binaries / "QuorvelStop.ibd")
    (work / "Binary.idt").write_text("Name\tData\ns72\tv0\nBinary\tName\nQuorvelStop\tQuorvelStop.ibd\n")
    _run(["msibuild", str(msi), "-i", "Binary.idt"], cwd=work)  # the stream file is found from there
    queries = [
        f"UPDATE `Component` SET `Attributes` = {NEVER_OVERWRITE} WHERE `Component` = '{settings_component}'",
        f"UPDATE `InstallExecuteSequence` SET `Sequence` = {REMOVE_OLDER_SEQUENCE} "
        "WHERE `Action` = 'RemoveExistingProducts'",
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
        f"VALUES ('StopRelay', {EXE_FROM_BINARY_IGNORING_EXIT}, 'QuorvelStop', '{STOP_OPTION}')",
        # Only where program files are written or removed: an install (an
        # upgrade too), a repair, an uninstall; not a change of features.
        "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) "
        f"VALUES ('StopRelay', 'NOT Installed OR REINSTALL OR REMOVE~=\"ALL\"', {STOP_RELAY_SEQUENCE})",
    ]
    for number, pattern in enumerate(LOG_FILES):
        queries.append("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, "
                       f"`InstallMode`) VALUES ('RemoveLog{number}', 'InstallFolder', '{pattern}', "
                       "'INSTALLDIR', 2)")
    for query in queries:
        _run(["msibuild", str(msi), "-q", query])


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    msi = commands.add_parser("msi", help="make the MSI of one build")
    msi.add_argument("--arch", choices=("x64", "x86"), required=True)
    msi.add_argument("--build-dir", required=True)
    msi.add_argument("--output", required=True)
    commands.add_parser("check-links", help="check the links of the packaged documents")
    arguments = parser.parse_args(argv)
    try:
        if arguments.command == "msi":
            make_msi(arguments.build_dir, arguments.arch, arguments.output)
        else:
            check_links()
            print(f"release.py: the links of {len(DOCUMENTS)} packaged documents resolve")
    except ReleaseError as error:
        print(f"release.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
