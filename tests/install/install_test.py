#!/usr/bin/env python3
"""Installs the build tree into a fresh prefix and uses the result as a new
user would, from folders outside the build tree and without LD_LIBRARY_PATH:

- the prefix holds the programs, the versioned libraries, the plug-in, the
  headers, the pkg-config file, the CMake package and the examples, and no
  test-only files; the programs and the plug-in resolve our libraries inside
  the prefix;
- the installed riphost runs the installed example job (finding the plug-in
  in its installed place) and writes TAV files; tavinfo reads one;
- riphost moved out of the prefix names both places it looked for the plug-in
  and prefers a plug-in beside it;
- a small program builds and runs against the installed libraries through
  pkg-config and through find_package(dravout);
- the pkg-config file finds the prefix from its own place, so a staged
  (DESTDIR) or moved tree still points at itself;
- the manual pages and the user documentation are installed.
"""

import argparse
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

LIBRARIES = ["dravdict", "dravfileutil", "dravtav", "dravoututil"]
VERSION = "0.1.0"
SOVERSION = "0"

CONSUMER = r"""
#include <cstdio>
#include <cstring>

#include "drav_dict.h"
#include "dravoututil.h"
#include "fileutil.h"
#include "tav.h"

// Writes a one-row TAV file, checks its TIFF signature, deletes it, and
// prints where the plug-in is installed.
int main(int argc, char** argv) {
  if (argc != 2) return 2;
  CStringKeyDict dict;
  dict["RES"] = 2400;
  if (dict.GetInt("RES") != 2400) return 3;
  TavFile* file = tav_fopenw(argv[1], TAV_FORMAT_FW8B, TAV_COMPRESS_NONE, 0, 1, 16, 1.0, 1.0);
  if (!file) {
    std::fprintf(stderr, "tav_fopenw: %s\n", tav_lasterror());
    return 4;
  }
  const unsigned char row[2] = {0xAA, 0x55};
  if (tav_putrow(file, 0, row) != 0 || tav_fclose(file) != 0) {
    std::fprintf(stderr, "writing: %s\n", tav_lasterror());
    return 5;
  }
  char magic[2] = {0, 0};
  std::FILE* in = std::fopen(argv[1], "rb");
  if (!in || std::fread(magic, 1, 2, in) != 2 || std::memcmp(magic, "II", 2) != 0) return 6;
  std::fclose(in);
  if (fdelete(argv[1]) != 0) return 7;
  dravoututil_end(nullptr);
  std::FILE* plugin = std::fopen(DRAVOUT_PLUGIN, "rb");
  if (!plugin) return 8;
  std::fclose(plugin);
  std::printf("plugin %s\n", DRAVOUT_PLUGIN);
  return 0;
}
"""

CONSUMER_CMAKE = """
cmake_minimum_required(VERSION 3.20)
project(consumer CXX)
find_package(dravout 0.1 REQUIRED)
add_executable(consumer consumer.cpp)
target_link_libraries(consumer PRIVATE
  dravout::dravtav dravout::dravoututil dravout::dravdict dravout::dravfileutil)
target_compile_definitions(consumer PRIVATE DRAVOUT_PLUGIN="${dravout_PLUGIN}")
"""

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, file=sys.stderr)
    return condition


def clean_env(**extra):
    """The environment without anything that would point the loader or the
    build tools at other places."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("LD_LIBRARY_PATH", "PKG_CONFIG_PATH", "CMAKE_PREFIX_PATH", "DESTDIR")}
    env.update(extra)
    return env


def run(cmd, cwd, env=None, timeout=120):
    result = subprocess.run([str(c) for c in cmd], cwd=cwd, env=env or clean_env(),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            errors="replace", timeout=timeout)
    return result


def must(result, what):
    if result.returncode != 0:
        print(result.stdout, file=sys.stderr)
        print(result.stderr, file=sys.stderr)
        raise SystemExit("FAIL: %s exited with %d" % (what, result.returncode))
    return result


def dynamic_section(path):
    return must(run(["readelf", "-d", path], cwd=path.parent), "readelf " + str(path)).stdout


def check_layout(prefix, libdir, build):
    lib = prefix / libdir
    for program in ("riphost", "tavinfo"):
        check(os.access(prefix / "bin" / program, os.X_OK), "bin/%s installed" % program)
    for name in LIBRARIES:
        real = lib / ("lib%s.so.%s" % (name, VERSION))
        soname = lib / ("lib%s.so.%s" % (name, SOVERSION))
        devlink = lib / ("lib%s.so" % name)
        if not check(real.is_file() and not real.is_symlink(), "%s is a file" % real.name):
            continue
        check(soname.is_symlink() and soname.resolve() == real.resolve(), "%s links to %s" % (soname.name, real.name))
        check(devlink.is_symlink() and devlink.resolve() == real.resolve(), "%s links to %s" % (devlink.name, real.name))
        check("Library soname: [%s]" % soname.name in dynamic_section(real), "%s has soname %s" % (real.name, soname.name))
    plugin = lib / "dravout" / "libdravout.so"
    check(plugin.is_file(), "plug-in at %s/dravout/libdravout.so" % libdir)
    for header in ("drav_host.h", "dravout.h", "drav_dict.h", "tav.h", "dravoututil.h", "fileutil.h"):
        check((prefix / "include" / "dravout" / header).is_file(), "include/dravout/%s installed" % header)
    check((lib / "pkgconfig" / "dravout.pc").is_file(), "pkg-config file installed")
    for name in ("dravoutConfig.cmake", "dravoutConfigVersion.cmake", "dravoutTargets.cmake"):
        check((lib / "cmake" / "dravout" / name).is_file(), "CMake package file %s installed" % name)
    check((prefix / "share" / "dravout" / "examples" / "job.json").is_file(), "example job installed")
    for page in ("riphost.1", "tavinfo.1"):
        path = prefix / "share" / "man" / "man1" / page
        check(path.is_file() and ".TH" in path.read_text(errors="replace"), "manual page %s installed" % page)
    for doc in ("README.md", "job-ticket.md", "tav-format.md", "device-file.md"):
        check((prefix / "share" / "doc" / "dravout" / doc).is_file(), "share/doc/dravout/%s installed" % doc)

    # Nothing that only the tests use, no static archives, no build-tree paths.
    for path in prefix.rglob("*"):
        name = path.name
        check(not (name.endswith(".a") or "fake" in name or "gtest" in name or name.endswith("_tests")),
              "test-only file installed: %s" % path.relative_to(prefix))
    for binary in (prefix / "bin" / "riphost", prefix / "bin" / "tavinfo", plugin):
        section = dynamic_section(binary)
        check(str(build) not in section, "%s has no run path into the build tree" % binary.name)
        check("$ORIGIN" in section, "%s has an $ORIGIN run path" % binary.name)
        ldd = must(run(["ldd", binary], cwd=binary.parent), "ldd " + binary.name).stdout
        check("not found" not in ldd, "%s resolves all its libraries:\n%s" % (binary.name, ldd))
        for line in ldd.splitlines():
            m = re.match(r"\s*(libdrav\S*) => (/\S+)", line)
            if m:
                check(Path(m.group(2)).resolve().is_relative_to(prefix.resolve()),
                      "%s loads %s from the prefix, not %s" % (binary.name, m.group(1), m.group(2)))


def check_job(prefix, tmp):
    """The installed riphost on a copy of the installed example job, run from
    another folder, with the plug-in found in its installed place."""
    job = tmp / "job"
    shutil.copytree(prefix / "share" / "dravout" / "examples", job)
    out = tmp / "job output"
    out.mkdir()  # the install is under test here, not riphost's making of folders
    elsewhere = tmp / "elsewhere"
    elsewhere.mkdir()
    riphost = prefix / "bin" / "riphost"
    usage = must(run([riphost, "--help"], cwd=elsewhere), "riphost --help").stdout
    if re.search(r"(^|\s)-o[ ,=]", usage):
        cmd = [riphost, "--quiet", "-o", out, job / "job.json"]
    else:
        text = (job / "job.json").read_text()
        text = re.sub(r'"output"\s*:\s*"[^"]*"', '"output": %s' % json.dumps(str(out)), text, count=1)
        (job / "job.json").write_text(text)
        cmd = [riphost, job / "job.json"]
    result = run(cmd, cwd=elsewhere)
    if not check(result.returncode == 0, "installed riphost runs the example job (exit %d): %s"
                 % (result.returncode, result.stderr)):
        return
    files = sorted(out.glob("*.tav")) if out.is_dir() else []
    check(len(files) >= 1, "the example job wrote .tav files")
    check(not any(p.name.endswith(".tmp") for p in out.iterdir()), "no temporary files left in the output folder")
    for path in files:
        with open(path, "rb") as f:
            check(f.read(4) in (b"II*\0", b"II+\0"), "%s is a TIFF file" % path.name)
    check(not any(elsewhere.iterdir()), "riphost wrote nothing into its working folder")
    if files:
        info = run([prefix / "bin" / "tavinfo", files[0]], cwd=elsewhere)
        check(info.returncode == 0 and info.stdout.strip() != "", "installed tavinfo reads %s" % files[0].name)


def check_plugin_search(prefix, libdir, tmp):
    """riphost outside any prefix: the error names both places tried; a
    plug-in beside riphost is the one loaded."""
    lonely = tmp / "lonely" / "bin"
    lonely.mkdir(parents=True)
    shutil.copy2(prefix / "bin" / "riphost", lonely / "riphost")
    job = prefix / "share" / "dravout" / "examples" / "job.json"
    env = clean_env(LD_LIBRARY_PATH=str(prefix / libdir))  # this riphost has no libraries of its own
    result = run([lonely / "riphost", job], cwd=tmp, env=env)
    beside = str(lonely / "libdravout.so")
    installed = str((lonely / ".." / libdir / "dravout" / "libdravout.so").resolve())
    check(result.returncode == 2, "riphost without a plug-in exits 2 (got %d)" % result.returncode)
    check(beside in result.stderr and installed in result.stderr,
          "the error names %s and %s: %s" % (beside, installed, result.stderr))
    (lonely / "libdravout.so").write_text("not a library\n")
    result = run([lonely / "riphost", job], cwd=tmp, env=env)
    check(result.returncode == 2 and ("cannot load the plug-in " + beside) in result.stderr,
          "riphost tries the plug-in beside it first: %s" % result.stderr)


def check_consumers(prefix, libdir, tmp, cmake, cxx):
    src = tmp / "consumer"
    src.mkdir()
    (src / "consumer.cpp").write_text(CONSUMER)
    (src / "CMakeLists.txt").write_text(CONSUMER_CMAKE)
    plugin = str(prefix / libdir / "dravout" / "libdravout.so")

    # pkg-config; the run path comes from the pkg-config libdir variable.
    env = clean_env(PKG_CONFIG_PATH=str(prefix / libdir / "pkgconfig"))
    flags = must(run(["pkg-config", "--cflags", "--libs", "dravout"], cwd=src, env=env), "pkg-config").stdout
    variables = {}
    for name in ("libdir", "plugindir", "plugin", "includedir"):
        variables[name] = must(run(["pkg-config", "--variable=" + name, "dravout"], cwd=src, env=env),
                               "pkg-config --variable=" + name).stdout.strip()
    check(Path(variables["plugindir"]).resolve() == (prefix / libdir / "dravout").resolve(),
          "pkg-config plugindir is %s" % variables["plugindir"])
    check(Path(variables["plugin"]).resolve() == Path(plugin).resolve(), "pkg-config plugin is %s" % variables["plugin"])
    for lib in LIBRARIES:
        check("-l" + lib in flags.split(), "pkg-config links -l%s" % lib)
    must(run([cxx, "-std=c++20", "-Wall", "-Wextra", "-Werror", "-o", src / "consumer_pc", src / "consumer.cpp",
              '-DDRAVOUT_PLUGIN="%s"' % variables["plugin"], *shlex.split(flags),
              "-Wl,-rpath," + variables["libdir"]], cwd=src, env=env), "building the pkg-config consumer")
    result = run([src / "consumer_pc", tmp / "pc.tav"], cwd=tmp)
    check(result.returncode == 0 and Path(result.stdout.strip().removeprefix("plugin ")).resolve() == Path(plugin).resolve(),
          "pkg-config consumer runs (exit %d): %s%s" % (result.returncode, result.stdout, result.stderr))

    # find_package(dravout); CMake gives the program a run path to the prefix.
    build = tmp / "consumer-build"
    must(run([cmake, "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_COMPILER=" + cxx,
              "-DCMAKE_PREFIX_PATH=" + str(prefix)], cwd=tmp), "configuring the CMake consumer")
    must(run([cmake, "--build", build], cwd=tmp), "building the CMake consumer")
    result = run([build / "consumer", tmp / "cmake.tav"], cwd=tmp)
    check(result.returncode == 0 and result.stdout.strip() == "plugin " + plugin,
          "CMake consumer runs (exit %d): %s%s" % (result.returncode, result.stdout, result.stderr))


def config_args(args):
    return ["--config", args.config] if args.config else []


def check_destdir(args, tmp):
    """A staged install (DESTDIR) holds a pkg-config file that names no
    absolute folder, and the staged tree, moved elsewhere, still answers with
    its own folders."""
    stage = tmp / "stage"
    final = "/opt/dravout-staged"
    must(run([args.cmake, "--install", args.build, "--prefix", final, *config_args(args)],
             cwd=tmp, env=clean_env(DESTDIR=str(stage))), "staged cmake --install")
    pc = (stage / final.lstrip("/") / args.libdir / "pkgconfig" / "dravout.pc").read_text()
    check("prefix=${pcfiledir}/" in pc and str(stage) not in pc and final not in pc,
          "staged pkg-config file is relocatable:\n" + pc)
    moved = tmp / "moved"
    shutil.move(str(stage / final.lstrip("/")), str(moved))
    env = clean_env(PKG_CONFIG_PATH=str(moved / args.libdir / "pkgconfig"))
    libdir = must(run(["pkg-config", "--variable=libdir", "dravout"], cwd=tmp, env=env), "pkg-config on the moved tree")
    check(Path(libdir.stdout.strip()).resolve() == (moved / args.libdir).resolve(),
          "moved tree's pkg-config libdir is %s" % libdir.stdout.strip())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--build", required=True, type=Path)
    parser.add_argument("--config", default="")
    parser.add_argument("--libdir", default="lib")
    parser.add_argument("--cxx", default="c++")
    args = parser.parse_args()
    build = args.build.resolve()
    with tempfile.TemporaryDirectory(prefix="dravout-install-") as name:
        tmp = Path(name).resolve()
        prefix = tmp / "prefix"
        must(run([args.cmake, "--install", build, "--prefix", prefix, *config_args(args)], cwd=tmp),
             "cmake --install")
        check_layout(prefix, args.libdir, build)
        check_job(prefix, tmp)
        check_plugin_search(prefix, args.libdir, tmp)
        check_consumers(prefix, args.libdir, tmp, args.cmake, args.cxx)
        check_destdir(args, tmp)
    if failures:
        print("%d check(s) failed" % len(failures), file=sys.stderr)
        return 1
    print("install test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
