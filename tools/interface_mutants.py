#!/usr/bin/env python3
"""Breaks the plug-ins' knowledge of the game one number at a time and shows
which Windows tests catch each break.

Each mutant changes one record or object offset, one flag, one address or one
routine's calling convention on the plug-ins' side (shared/host_interface.hpp,
aimcam/aim_redirect.hpp), builds the cross tree of a scratch copy of the
working tree and runs its Windows tests. A mutant that no test catches
"survived": the plug-ins would misbehave in the game while every test passes.

usage: interface_mutants.py ROOT [NAME_FILTER]
  ROOT         the repository's working tree
  NAME_FILTER  only the mutants whose name contains this text

Exit status: 0 when every mutant was caught, 1 when any survived or did not
build.
"""
import os
import shutil
import subprocess
import sys

INTERFACE = "shared/host_interface.hpp"
AIM_REDIRECT = "aimcam/aim_redirect.hpp"
AIM_REDIRECT_CPP = "aimcam/aim_redirect.cpp"

# (name, file or files, the text as it stands, the text of the mutant); the
# text is changed in each file, where it must stand exactly once.
MUTANTS = [
    # The character record and the camera object.
    ("status flags at +0x470", INTERFACE,
     "kStatusFlags = 0x46C;", "kStatusFlags = 0x470;"),
    ("left-alone flag 0x200", INTERFACE,
     "kLeftAloneFlag = 0x100;", "kLeftAloneFlag = 0x200;"),
    ("state code at +0x534", INTERFACE,
     "kStateCode = 0x530;", "kStateCode = 0x534;"),
    ("turning states without 32", INTERFACE,
     "kTurningStateCodes[] = {0, 1, 17, 22, 32};", "kTurningStateCodes[] = {0, 1, 17, 22, 33};"),
    ("heading field at +0x560", INTERFACE,
     "kHeadingField = 0x558;", "kHeadingField = 0x560;"),
    ("heading copy at +0x564", INTERFACE,
     "kHeadingFieldCopy = 0x55C;", "kHeadingFieldCopy = 0x564;"),
    ("weapon entries at +0x5A4", INTERFACE,
     "kWeapons = 0x5A0;", "kWeapons = 0x5A4;"),
    ("weapon entries of 32 bytes", INTERFACE,
     "kWeaponEntrySize = 28;", "kWeaponEntrySize = 32;"),
    ("active weapon index at +0x71C", INTERFACE,
     "kActiveWeapon = 0x718;", "kActiveWeapon = 0x71C;"),
    ("linked record at +0x590", INTERFACE,
     "#define HOST_CHARACTER_LINKED_RECORD 0x58C", "#define HOST_CHARACTER_LINKED_RECORD 0x590"),
    ("linked value at +0x24", INTERFACE,
     "#define HOST_LINKED_VALUE 0x22", "#define HOST_LINKED_VALUE 0x24"),
    ("camera heading at +0x154", INTERFACE,
     "kCameraHeadingOffset = 0x150;", "kCameraHeadingOffset = 0x154;"),
    # The routines' conventions: the other of cdecl and member, and stdcall.
    ("find player as a member routine", INTERFACE,
     "using FindPlayerFn = Character* HOST_CDECL", "using FindPlayerFn = Character* HOST_THISCALL"),
    ("find player removing its argument", INTERFACE,
     "using FindPlayerFn = Character* HOST_CDECL",
     "using FindPlayerFn = Character* __attribute__((stdcall))"),
    ("offset point as cdecl", INTERFACE,
     "using CharacterOffsetPointFn = void HOST_THISCALL",
     "using CharacterOffsetPointFn = void HOST_CDECL"),
    ("aim camera update as cdecl", INTERFACE,
     "using AimCameraUpdateFn = std::uint32_t HOST_THISCALL",
     "using AimCameraUpdateFn = std::uint32_t HOST_CDECL"),
    ("condition as cdecl", INTERFACE,
     "using CharacterConditionFn = std::uint32_t HOST_THISCALL",
     "using CharacterConditionFn = std::uint32_t HOST_CDECL"),
    ("condition as stdcall", INTERFACE,
     "using CharacterConditionFn = std::uint32_t HOST_THISCALL",
     "using CharacterConditionFn = std::uint32_t __attribute__((stdcall))"),
    ("heading as cdecl", INTERFACE,
     "using CharacterHeadingFn = float HOST_THISCALL",
     "using CharacterHeadingFn = float HOST_CDECL"),
    ("set heading as cdecl", INTERFACE,
     "using CharacterSetHeadingFn = void HOST_THISCALL",
     "using CharacterSetHeadingFn = void HOST_CDECL"),
    ("set heading as stdcall", INTERFACE,
     "using CharacterSetHeadingFn = void HOST_THISCALL",
     "using CharacterSetHeadingFn = void __attribute__((stdcall))"),
    ("refresh as a member routine", INTERFACE,
     "using CharacterRefreshFn = void HOST_CDECL", "using CharacterRefreshFn = void HOST_THISCALL"),
    ("refresh removing its argument", INTERFACE,
     "using CharacterRefreshFn = void HOST_CDECL",
     "using CharacterRefreshFn = void __attribute__((stdcall))"),
    ("aim redirection as cdecl", (AIM_REDIRECT, AIM_REDIRECT_CPP),
     "std::uint32_t HOST_THISCALL redirect_aim_point", "std::uint32_t HOST_CDECL redirect_aim_point"),
    # Addresses of routines, call sites, code and data.
    ("find player at 0x56E220", INTERFACE, "kFindPlayer = 0x56E210;", "kFindPlayer = 0x56E220;"),
    ("offset point at 0x533500", INTERFACE,
     "kCharacterOffsetPoint = 0x5334F0;", "kCharacterOffsetPoint = 0x533500;"),
    ("aim camera update at 0x521510", INTERFACE,
     "kAimCameraUpdate = 0x521500;", "kAimCameraUpdate = 0x521510;"),
    ("condition at 0x5E3970", INTERFACE,
     "kCharacterCondition = 0x5E3960;", "kCharacterCondition = 0x5E3970;"),
    ("heading at 0x441DC0", INTERFACE,
     "kCharacterHeading = 0x441DB0;", "kCharacterHeading = 0x441DC0;"),
    ("set heading at 0x43E0D0", INTERFACE,
     "kCharacterSetHeading = 0x43E0C0;", "kCharacterSetHeading = 0x43E0D0;"),
    ("refresh at 0x446FA0", INTERFACE,
     "kCharacterRefresh = 0x446F90;", "kCharacterRefresh = 0x446FA0;"),
    ("aim call site at 0x527A96", INTERFACE, "kAimCallSite = 0x527A95;", "kAimCallSite = 0x527A96;"),
    ("frame tick site at 0x53E982", INTERFACE,
     "kFrameTickSite = 0x53E981;", "kFrameTickSite = 0x53E982;"),
    ("init event site at 0x5BF3A2", INTERFACE,
     "kInitEventSite = 0x5BF3A1;", "kInitEventSite = 0x5BF3A2;"),
    ("frame event site at 0x53C078", INTERFACE,
     "kFrameEventSite = 0x53C077;", "kFrameEventSite = 0x53C078;"),
    ("aim code constant at 0x521633", INTERFACE,
     "kAimCodeConstant = 0x521632;", "kAimCodeConstant = 0x521633;"),
    ("guarded code at 0x52C978", INTERFACE, "kGuardedCode = 0x52C977;", "kGuardedCode = 0x52C978;"),
    ("aim value 8CC4A0 at 8CC4A4", INTERFACE,
     "kAimValue8CC4A0 = 0x8CC4A0;", "kAimValue8CC4A0 = 0x8CC4A4;"),
    ("aim value 8CC4A8 at 8CC4A4", INTERFACE,
     "kAimValue8CC4A8 = 0x8CC4A8;", "kAimValue8CC4A8 = 0x8CC4A4;"),
    ("aim value 8CC4AC at 8CC4A4", INTERFACE,
     "kAimValue8CC4AC = 0x8CC4AC;", "kAimValue8CC4AC = 0x8CC4A4;"),
    ("aim value 8CC4B0 at 8CC4A4", INTERFACE,
     "kAimValue8CC4B0 = 0x8CC4B0;", "kAimValue8CC4B0 = 0x8CC4A4;"),
    ("aim value 8CC4B4 at 8CC4A4", INTERFACE,
     "kAimValue8CC4B4 = 0x8CC4B4;", "kAimValue8CC4B4 = 0x8CC4A4;"),
    ("aim value 8CC4B8 at 8CC4A4", INTERFACE,
     "kAimValue8CC4B8 = 0x8CC4B8;", "kAimValue8CC4B8 = 0x8CC4A4;"),
    ("aim table at 0x8CC4C4", INTERFACE, "kAimTable = 0x8CC4C0;", "kAimTable = 0x8CC4C4;"),
    ("camera object at 0xB6F02C", INTERFACE,
     "kCameraObject = 0xB6F028;", "kCameraObject = 0xB6F02C;"),
    ("cell reference at +0x1FFB", INTERFACE,
     "kCellReference = 0x1FFA;", "kCellReference = 0x1FFB;"),
    ("linked value load at +0x47ED", INTERFACE,
     "kLinkedValueLoad = 0x47EC;", "kLinkedValueLoad = 0x47ED;"),
    ("module resumes at +0x47F7", INTERFACE,
     "kLinkedValueUse = 0x47F6;", "kLinkedValueUse = 0x47F7;"),
]

COPIED = ["CMakeLists.txt", "CMakePresets.json", "README.md", "cmake", "injector", "shared",
          "aimcam", "viewfix", "tools", "standins", "tests", "bench", "soak", "fuzz", "package"]


def run(command, cwd, log):
    with open(log, "w") as out:
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def run_tests(source, build, jobs, log):
    """Runs the Windows tests; the names of those that failed."""
    # CTest rewrites its list of failures only when a test fails: an old list
    # would pass for this run's.
    path = os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(path):
        os.remove(path)
    status = run(["ctest", "--preset", "mingw", "-j", jobs, "--timeout", "60"], source, log)
    if status == 0:
        return []
    if not os.path.exists(path):
        return ["(ctest failed without naming a test; see build/mutants)"]
    with open(path) as f:
        return [line.strip().split(":", 1)[1] for line in f if ":" in line]


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip())
        return 2
    root = os.path.abspath(sys.argv[1])
    wanted = sys.argv[2] if len(sys.argv) > 2 else ""
    scratch = os.path.join(root, "build", "mutants")
    source = os.path.join(scratch, "src")
    build = os.path.join(source, "build", "mingw")
    os.makedirs(source, exist_ok=True)
    for name in COPIED:
        target = os.path.join(source, name)
        if os.path.isdir(target):
            shutil.rmtree(target)
        elif os.path.exists(target):
            os.remove(target)
        # Copied with new times: files kept their old times, a build left by
        # an interrupted run (of a mutant) would look up to date.
        origin = os.path.join(root, name)
        if os.path.isdir(origin):
            shutil.copytree(origin, target, copy_function=shutil.copy)
        else:
            shutil.copy(origin, target)

    jobs = str(os.cpu_count() or 2)
    if run(["cmake", "--preset", "mingw"], source, os.path.join(scratch, "configure.log")) != 0:
        print("the scratch copy does not configure; see build/mutants/configure.log")
        return 1
    if run(["cmake", "--build", "--preset", "mingw", "-j", jobs], source,
           os.path.join(scratch, "build.log")) != 0:
        print("the unchanged scratch copy does not build; see build/mutants/build.log")
        return 1

    # Tests that fail without any mutant (there should be none) cannot catch
    # one: they are left out of every count below.
    failing_anyway = set(run_tests(source, build, jobs, os.path.join(scratch, "unchanged.log")))
    if failing_anyway:
        print(f"failing without a mutant, so not counted: {sorted(failing_anyway)}")

    results = []
    for name, files, original, mutant in MUTANTS:
        if wanted not in name:
            continue
        if isinstance(files, str):
            files = (files,)
        texts = {}
        for file in files:
            with open(os.path.join(source, file)) as f:
                texts[file] = f.read()
        missing = [file for file, text in texts.items() if text.count(original) != 1]
        if missing:
            results.append((name, "NOT APPLIED", [f"'{original}' not found once in {missing[0]}"]))
            print(f"{name:40} NOT APPLIED", flush=True)
            continue
        for file, text in texts.items():
            with open(os.path.join(source, file), "w") as f:
                f.write(text.replace(original, mutant))
        try:
            log = os.path.join(scratch, "mutant.log")
            if run(["cmake", "--build", "--preset", "mingw", "-j", jobs], source, log) != 0:
                results.append((name, "DID NOT BUILD", []))
            else:
                failed = [t for t in run_tests(source, build, jobs, log) if t not in failing_anyway]
                results.append((name, f"caught by {len(failed)}" if failed else "SURVIVED", failed))
        finally:
            for file, text in texts.items():
                with open(os.path.join(source, file), "w") as f:
                    f.write(text)
        print(f"{name:40} {results[-1][1]}", flush=True)

    print()
    for name, outcome, failed in results:
        print(f"{name}: {outcome}")
        for test in failed[:4]:
            print(f"    {test}")
        if len(failed) > 4:
            print(f"    ... and {len(failed) - 4} more")
    # The last build is of a mutant: bring the scratch tree back to the original.
    run(["cmake", "--build", "--preset", "mingw", "-j", jobs], source,
        os.path.join(scratch, "build.log"))
    bad = [r for r in results if not r[1].startswith("caught")]
    print(f"\n{len(results) - len(bad)} of {len(results)} mutants caught")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
