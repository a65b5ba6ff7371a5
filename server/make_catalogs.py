#!/usr/bin/env python3
"""Writes the demo update server's catalogs and the files that go with them.

The catalogs are read by Quellfix as CP949 text, which is awkward to edit.
This script is their readable source: the demo updates and the catalogs that
list them are written down below in UTF-8, and running the script writes

    update/v2/O_B_L.ini   one catalog per OsCode, bit width and language,
                          CP949 with CRLF line ends
    kb/KBnnnnnn.html      the web page of each update (its ARTICLE address)
    demo/installers.txt   the demo installers the build makes: one line per
                          update, "KB kind file...", read by CMakeLists.txt
    demo/installed.reg    records that make a few demo updates count as
                          installed before the first run (REGEDIT4, CP949)

next to itself. Edit the data here, run the script, commit both.

    python3 server/make_catalogs.py           write the files
    python3 server/make_catalogs.py --check   exit 1 if a file is stale
    python3 server/make_catalogs.py --out DIR write below DIR instead
"""

import argparse
import html
import os
import sys

import catalog_keys

# Where the demo server answers (see demo_server.py). The demo catalogs point
# their installers and web pages at it.
DEMO_SERVER = "http://127.0.0.1:47100/"
FILES_URL = DEMO_SERVER + "update/files/"
ARTICLES_URL = DEMO_SERVER + "kb/"

UNINSTALL = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"

# How each demo installer presents itself in its version resource; Quellfix
# picks the silent switches from these strings (demo/demo_update.rc has the
# strings themselves).
KINDS = {
    "hotfix": "FileDescription \"Hotfix Package\": /quiet /norestart",
    "security": "FileDescription \"Security Update\": -q -z",
    "iexpress": "FileDescription \"IExpress Setup\": /Q",
    "sfxcab": "OriginalFilename \"SFXCAB.EXE\": /quiet /norestart",
    "updateexe": "Installer Engine \"update.exe\": /quiet /norestart",
    "cabsfx": "FileDescription \"Win32 Cabinet Self-Extractor\": /Q",
    "gdiplus": "FileDescription \"Microsoft GDI+ Detection Tool\": /Q",
    "plain": "no known kind: no switches unless the catalog gives CMDLINE",
}


class Update:
    """One demo update: its record name, installer kind and texts.

    `pattern` names the installer file; {lang} becomes KOR or ENU and
    {arch} x86 or x64, after the catalog that lists it."""

    def __init__(self, kb, kind, pattern, title, description):
        assert kind in KINDS, kind
        self.kb = kb
        self.kind = kind
        self.pattern = pattern
        self.title = title
        self.description = description

    def filename(self, catalog):
        return self.pattern.format(kb=self.kb, lang=catalog.lang,
                                   arch=catalog.arch)


class Entry:
    """One catalog entry: an update and the keys that say where it applies
    and how to tell that it is installed."""

    def __init__(self, update, regkeys=None, **keys):
        self.update = update
        self.regkeys = regkeys if regkeys is not None else [update.kb]
        self.keys = keys


class Catalog:
    def __init__(self, name, system, language, lang, arch, entries):
        self.name = name
        self.system = system
        self.language = language
        self.lang = lang
        self.arch = arch
        self.entries = entries


def uninstall_key(kb):
    return "HKEY_LOCAL_MACHINE\\" + UNINSTALL + "\\" + kb


# -- Windows XP ----------------------------------------------------------

XP = [
    Entry(Update("KB990001", "hotfix", "WindowsXP-{kb}-x86-{lang}.exe",
                 "Windows XP 보안 업데이트 (KB990001)",
                 "원격 프로시저 호출(RPC) 서비스의 보안 취약점을 해결합니다. "
                 "이 업데이트를 설치하지 않으면 조작된 요청을 받은 컴퓨터에서 "
                 "공격자가 임의의 코드를 실행할 수 있습니다."),
          SPVER="2,3"),
    Entry(Update("KB990002", "security", "IE8-WindowsXP-{kb}-x86-{lang}.exe",
                 "Internet Explorer 8 누적 보안 업데이트 (KB990002)",
                 "Internet Explorer 8 이상에서 특수하게 조작된 웹 페이지를 "
                 "열 때 생길 수 있는 메모리 손상 문제를 해결합니다."),
          regkeys=[uninstall_key("KB990002")], IEVER="8"),
    Entry(Update("KB990003", "updateexe", "WindowsXP-{kb}-x86-{lang}.exe",
                 "Windows XP 서비스 팩 3 업데이트 (KB990003)",
                 "서비스 팩 3이 설치된 Windows XP에서 USB 장치를 다시 연결할 "
                 "때 장치가 인식되지 않는 문제를 해결합니다. 예전에 "
                 "Q990003으로 배포된 수정과 같은 업데이트입니다."),
          regkeys=["KB990003", "Q990003"], SPVER="3"),
    Entry(Update("KB990004", "sfxcab", "WindowsXP-{kb}-x86-{lang}.exe",
                 "Windows XP 일광 절약 시간 업데이트 (KB990004)",
                 "여러 나라의 바뀐 일광 절약 시간 규칙을 시간대 정보에 "
                 "반영합니다."),
          SPVER="-1"),
    Entry(Update("KB990005", "iexpress", "WindowsXP-{kb}-x86-{lang}.exe",
                 "Windows 스크립트 호스트 5.7 보안 업데이트 (KB990005)",
                 "스크립트 엔진이 잘못된 형식의 스크립트를 처리할 때 생기는 "
                 "보안 취약점을 해결합니다.")),
    Entry(Update("KB990006", "cabsfx", "rootsupd-{kb}-{lang}.exe",
                 "루트 인증서 업데이트 (KB990006)",
                 "신뢰할 수 있는 루트 인증 기관 목록을 최신 상태로 바꿉니다. "
                 "이 설치 프로그램은 스위치 없이도 조용히 설치됩니다."),
          CMDLINE="none"),
    Entry(Update("KB990007", "plain", "WindowsXP-{kb}-x86-{lang}.exe",
                 "Windows XP 한글 글꼴 업데이트 (KB990007)",
                 "굴림, 돋움, 바탕 글꼴에 새로 정해진 한글 문자를 더합니다."),
          CMDLINE="/passive /norestart"),
    Entry(Update("KB990008", "gdiplus", "gdidetect-{kb}-{lang}.exe",
                 "GDI+ 취약점 검사 도구 (KB990008)",
                 "컴퓨터에 설치된 프로그램 가운데 취약한 GDI+ 구성 요소를 "
                 "쓰는 것이 있는지 검사합니다.")),
    Entry(Update("KB990009", "hotfix", "WindowsMedia11-{kb}-x86-{lang}.exe",
                 "Windows Media Player 11 보안 업데이트 (KB990009)",
                 "Windows Media Player 11에서 조작된 재생 목록 파일을 열 때 "
                 "생길 수 있는 보안 취약점을 해결합니다."),
          WMPVER="11"),
    Entry(Update("KB990010", "security", "WindowsMedia-{kb}-x86-{lang}.exe",
                 "Windows Media Format 11 런타임 보안 업데이트 (KB990010)",
                 "Windows Media Format 11 런타임이 ASF 파일을 해석할 때 "
                 "생기는 보안 취약점을 해결합니다."),
          WMFVER="11"),
    Entry(Update("KB990011", "hotfix", "WindowsXP-{kb}-x86-{lang}.exe",
                 "IIS 5.1 보안 업데이트 (KB990011)",
                 "인터넷 정보 서비스(IIS) 5.1의 FTP 서비스 보안 취약점을 "
                 "해결합니다. IIS가 설치된 컴퓨터에만 필요합니다."),
          IISVER="require"),
    Entry(Update("KB990012", "hotfix", "WindowsXP-{kb}-x86-{lang}.exe",
                 "SNMP 서비스 보안 업데이트 (KB990012)",
                 "SNMP 서비스가 조작된 요청을 받을 때 생기는 보안 취약점을 "
                 "해결합니다. SNMP 서비스가 설치된 컴퓨터에만 필요합니다."),
          SNMPVER="require"),
    Entry(Update("KB990013", "updateexe", "NDP20SP1-{kb}-x86-{lang}.exe",
                 ".NET Framework 2.0 서비스 팩 1 보안 업데이트 (KB990013)",
                 ".NET Framework 2.0 서비스 팩 1의 보안 취약점을 "
                 "해결합니다."),
          DOTNETVER="20", DOTNETSPVER="1"),
    Entry(Update("KB990014", "hotfix", "NDP-{kb}-x86-{lang}.exe",
                 ".NET Framework 공통 보안 업데이트 (KB990014)",
                 "설치된 .NET Framework의 버전과 상관없이 필요한 보안 "
                 "업데이트입니다."),
          DOTNETVER="require"),
    Entry(Update("KB990015", "hotfix", "WindowsXP-{kb}-x86-{lang}.exe",
                 "Windows XP 서비스 팩 2 전용 업데이트 (KB990015)",
                 "서비스 팩 2에서만 생기는 방화벽 설정 문제를 해결합니다. "
                 "서비스 팩 3에는 이미 들어 있습니다."),
          SPVER="2"),
    Entry(Update("KB990016", "hotfix", "WindowsXP-{kb}-x86-{lang}.exe",
                 "(배포 중단) Windows XP 업데이트 (KB990016)",
                 "일부 컴퓨터에서 문제가 보고되어 배포를 멈춘 "
                 "업데이트입니다."),
          ENABLE="0"),
    Entry(Update("KB990017", "updateexe", "WindowsInstaller-{kb}-x86-{lang}.exe",
                 "Windows Installer 3.1 (KB990017)",
                 "업데이트가 아닌 프로그램이므로 업데이트 목록에 나오지 "
                 "않습니다."),
          TYPE="APPLICATION"),
]

# -- Windows Vista -------------------------------------------------------

VISTA = [
    Entry(Update("KB990101", "hotfix", "Windows6.0-{kb}-{arch}-{lang}.exe",
                 "Windows Vista 보안 업데이트 (KB990101)",
                 "Windows 커널이 특정 시스템 호출을 검사하는 방식의 보안 "
                 "취약점을 해결합니다."),
          SPVER="1,2"),
    Entry(Update("KB990102", "security", "IE9-Windows6.0-{kb}-{arch}-{lang}.exe",
                 "Internet Explorer 9 누적 보안 업데이트 (KB990102)",
                 "Internet Explorer 9에서 특수하게 조작된 웹 페이지를 열 때 "
                 "생길 수 있는 메모리 손상 문제를 해결합니다."),
          regkeys=[uninstall_key("KB990102")], IEVER="9"),
    Entry(Update("KB990103", "updateexe", "Windows6.0-{kb}-{arch}-{lang}.exe",
                 "Windows Vista 서비스 팩 2 업데이트 (KB990103)",
                 "서비스 팩 2가 설치된 Windows Vista에서 절전 모드에서 깨어난 "
                 "뒤 네트워크가 연결되지 않는 문제를 해결합니다."),
          regkeys=["KB990103",
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Updates\\"
                   "Windows Vista\\SP2\\KB990103"],
          SPVER="2"),
    Entry(Update("KB990104", "iexpress", "WindowsMedia11-{kb}-{arch}-{lang}.exe",
                 "Windows Media Player 11 업데이트 (KB990104)",
                 "Windows Media Player 11에서 일부 동영상 파일의 소리가 "
                 "끊기는 문제를 해결합니다."),
          WMPVER="11"),
    Entry(Update("KB990105", "hotfix", "Windows6.0-{kb}-{arch}-{lang}.exe",
                 "IIS 7.0 보안 업데이트 (KB990105)",
                 "인터넷 정보 서비스(IIS) 7.0의 인증 처리 보안 취약점을 "
                 "해결합니다. IIS가 설치된 컴퓨터에만 필요합니다."),
          IISVER="require"),
    Entry(Update("KB990106", "security", "NDP35SP1-{kb}-{arch}-{lang}.exe",
                 ".NET Framework 3.5 서비스 팩 1 보안 업데이트 (KB990106)",
                 ".NET Framework 3.5 서비스 팩 1의 보안 취약점을 "
                 "해결합니다."),
          DOTNETVER="35", DOTNETSPVER="1"),
    Entry(Update("KB990107", "plain", "Windows6.0-{kb}-{arch}-{lang}.exe",
                 "Windows Vista 표준 시간대 업데이트 (KB990107)",
                 "여러 나라의 바뀐 표준 시간대 정보를 반영합니다."),
          CMDLINE="/passive /norestart"),
    Entry(Update("KB990108", "hotfix", "Windows6.0-{kb}-{arch}-{lang}.exe",
                 "(배포 중단) Windows Vista 업데이트 (KB990108)",
                 "일부 컴퓨터에서 문제가 보고되어 배포를 멈춘 "
                 "업데이트입니다."),
          ENABLE="0"),
]

# -- Windows 98 ----------------------------------------------------------
# Windows 98 keeps no Uninstall names that Quellfix reads, so its entries
# probe the installer's registry key directly.

WIN98 = [
    Entry(Update("KB990201", "hotfix", "{kb}-W98-{lang}.exe",
                 "Windows 98 보안 업데이트 (KB990201)",
                 "파일 및 프린터 공유의 보안 취약점을 해결합니다."),
          regkeys=[uninstall_key("KB990201")]),
    Entry(Update("KB990202", "security", "IE6SP1-{kb}-W98-{lang}.exe",
                 "Internet Explorer 6 SP1 누적 보안 업데이트 (KB990202)",
                 "Internet Explorer 6 서비스 팩 1의 보안 취약점을 "
                 "해결합니다."),
          regkeys=[uninstall_key("KB990202")], IEVER="6"),
]

CATALOGS = [
    Catalog("4_32_18.ini", "Windows XP 32비트 한국어판", 18, "KOR", "x86", XP),
    Catalog("4_32_9.ini", "Windows XP 32비트 영문판", 9, "ENU", "x86", XP),
    Catalog("6_32_18.ini", "Windows Vista 32비트 한국어판", 18, "KOR", "x86", VISTA),
    Catalog("6_64_18.ini", "Windows Vista 64비트 한국어판", 18, "KOR", "x64", VISTA),
    Catalog("6_32_9.ini", "Windows Vista 32비트 영문판", 9, "ENU", "x86", VISTA),
    Catalog("6_64_9.ini", "Windows Vista 64비트 영문판", 9, "ENU", "x64", VISTA),
    Catalog("1_32_18.ini", "Windows 98 한국어판", 18, "KOR", "x86", WIN98),
]

# Demo records planted before the first run, so the demo's list starts with
# some updates shown as installed: KB990003 under the older name its REGKEY2
# looks for, KB990004 under its own name, and the Vista service pack record
# that KB990103's REGKEY2 opens.
PREINSTALLED = [
    (r"SOFTWARE\Microsoft\Windows NT\CurrentVersion\HotFix\Q990003",
     [("Installed", "dword:00000001")]),
    (UNINSTALL + r"\KB990004",
     [("DisplayName", "Windows XP 일광 절약 시간 업데이트 (KB990004)"),
      ("Publisher", "Quellfix 데모")]),
    (r"SOFTWARE\Microsoft\Updates\Windows Vista\SP2\KB990103",
     [("Description", "Windows Vista 서비스 팩 2 업데이트 (KB990103)")]),
]

# Order in which an entry's keys are written: ENABLE and TYPE first, then
# TITLE, then the other conditions in the order the program decides them.
FIRST_KEYS = [catalog_keys.name("Enable"), catalog_keys.name("Type")]
CONDITION_KEYS = [key for key in catalog_keys.CONDITION_KEYS if key not in FIRST_KEYS]
# The keys an update may set beyond those every entry gets.
SETTABLE_KEYS = set(FIRST_KEYS) | set(CONDITION_KEYS) | {catalog_keys.name("CmdLine")}


# -- writers -------------------------------------------------------------

def catalog_text(catalog):
    lines = [
        "; Quellfix 업데이트 목록: %s" % catalog.system,
        "; make_catalogs.py가 만든 파일입니다. 고칠 때는 그 스크립트를 고치고 "
        "다시 실행하십시오.",
        "",
        "[INFO]",
        "COUNT=%d" % len(catalog.entries),
        "LANGUAGE=%d" % catalog.language,
    ]
    for number, entry in enumerate(catalog.entries, 1):
        update = entry.update
        unknown = set(entry.keys) - SETTABLE_KEYS
        assert not unknown, (update.kb, unknown)
        lines += ["", "[%d]" % number]
        for key in FIRST_KEYS:
            if key in entry.keys:
                lines.append("%s=%s" % (key, entry.keys[key]))
        lines.append("TITLE=%s" % update.title)
        for key in CONDITION_KEYS:
            if key in entry.keys:
                lines.append("%s=%s" % (key, entry.keys[key]))
        for k, probe in enumerate(entry.regkeys, 1):
            lines.append("%s=%s" % ("REGKEY" if k == 1 else "REGKEY%d" % k, probe))
        filename = update.filename(catalog)
        lines.append("FILENAME=%s" % filename)
        lines.append("URL=%s%s" % (FILES_URL, filename))
        if "CMDLINE" in entry.keys:
            lines.append("CMDLINE=%s" % entry.keys["CMDLINE"])
        lines.append("DESCRIPTION=%s" % update.description)
        lines.append("ARTICLE=%s%s.html" % (ARTICLES_URL, update.kb))
    return ("\r\n".join(lines) + "\r\n").encode("cp949")


def all_updates():
    """Every update with the installer file names its catalogs use."""
    updates = {}
    for catalog in CATALOGS:
        for entry in catalog.entries:
            update = entry.update
            known = updates.setdefault(update.kb, (update, []))
            assert known[0] is update, "two updates named %s" % update.kb
            name = update.filename(catalog)
            if name not in known[1]:
                known[1].append(name)
    return [updates[kb] for kb in sorted(updates)]


def article_text(update):
    title = html.escape(update.title)
    body = html.escape(update.description)
    return ("<!DOCTYPE html>\n"
            "<html lang=\"ko\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>%s</title>\n"
            "<style>body{font-family:sans-serif;margin:1.5em;max-width:40em}"
            "h1{font-size:1.3em}</style>\n"
            "</head>\n<body>\n<h1>%s</h1>\n<p>%s</p>\n"
            "<p>이 업데이트는 Quellfix 데모용입니다. 설치 프로그램은 설치 "
            "기록만 남기고 시스템을 바꾸지 않습니다.</p>\n"
            "<p><a href=\"/\">Quellfix 홈페이지</a></p>\n"
            "</body>\n</html>\n" % (title, title, body)).encode("utf-8")


def installers_text():
    lines = ["# Demo installers built from demo_update.cpp: KB kind file...",
             "# Written by make_catalogs.py."]
    for update, names in all_updates():
        lines.append(" ".join([update.kb, update.kind] + names))
    return ("\n".join(lines) + "\n").encode("ascii")


def installed_reg_text():
    lines = ["REGEDIT4", ""]
    for key, values in PREINSTALLED:
        lines.append("[HKEY_LOCAL_MACHINE\\%s]" % key)
        for name, value in values:
            if not value.startswith("dword:"):
                value = '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')
            lines.append('"%s"=%s' % (name, value))
        lines.append("")
    return "\r\n".join(lines).encode("cp949")


def outputs():
    """Every generated file: relative path -> bytes."""
    files = {}
    for catalog in CATALOGS:
        files["update/v2/" + catalog.name] = catalog_text(catalog)
    for update, _ in all_updates():
        files["kb/%s.html" % update.kb] = article_text(update)
    files["demo/installers.txt"] = installers_text()
    files["demo/installed.reg"] = installed_reg_text()
    return files


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)),
                        help="folder that receives the files (default: beside this script)")
    parser.add_argument("--check", action="store_true",
                        help="write nothing; exit 1 when a file differs")
    args = parser.parse_args(argv)

    stale = []
    for relative, data in sorted(outputs().items()):
        path = os.path.join(args.out, *relative.split("/"))
        try:
            with open(path, "rb") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current == data:
            continue
        stale.append(relative)
        if not args.check:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    if args.check:
        for relative in stale:
            print("out of date: %s" % relative)
        return 1 if stale else 0
    for relative in stale:
        print("wrote %s" % relative)
    return 0


if __name__ == "__main__":
    sys.exit(main())
