#!/usr/bin/env python3
# The house-rules checker over a small tree made for it: each rule's break
# is reported at its line, and what keeps the rules (the shared modules of
# a program, a setter's own writes, comments and strings) is not.
import os
import subprocess
import sys
import tempfile

CHECKER = sys.argv[1]

TREE = {
    # Floors: the bridge reaching up, a library reaching sideways, a program
    # reaching into another, a host library outside the toolbox.
    "src/506Q_Lib/Bridge.cpp": '// The bridge to the toolbox.\n#include "506Q_Lib/Bridge.h"\n#include "common/Ini.h"\n',
    "src/OT/Net.cpp": '// Networking over the endpoints.\n#include "FanctionLib/CList.h"\n#include "common/Ini.h"\n#include <png.h>\n',
    "src/Admin/Main.cpp": '// The administration program\'s start.\n#include "Monitor/Poll.h"\n#include "Monitor/Files.h"\n',
    # The monitor shares its file module (an OBJECT library the installer
    # compiles in); that module must not lean on the monitor's own others.
    "src/Monitor/CMakeLists.txt": "add_library(mon_files OBJECT Files.cpp)\n",
    "src/Installer/CMakeLists.txt": "add_library(inst STATIC A.cpp $<TARGET_OBJECTS:mon_files>)\n",
    "src/Monitor/Files.h": '// The monitor\'s files.\n#pragma once\n#include "Monitor/Types.h"\n',
    "src/Monitor/Types.h": "// The monitor's records.\n#pragma once\n",
    "src/Monitor/Files.cpp": '// The monitor\'s files.\n#include "Monitor/Files.h"\n#include "Monitor/Poll.h"\n',
    "src/Monitor/Poll.h": "// Polling the print boxes.\n#pragma once\n",
    "src/Installer/A.cpp": '// The installer\'s pages.\n#include "Monitor/Files.h"\n#include "Monitor/Types.h"\n#include "toolbox/x.h"\n',
    # Module comments.
    "toolbox/src/bare.cpp": '#include "toolbox/bare.h"\n',
    "tests/toolbox/bare_test.cpp": "// clang-format off\n",
    "bench/ok.cpp": "/* A benchmark of nothing. */\n",
    # Traced state: a setter and three writes behind its back, one through
    # a global; a comment and a string that only look like writes.
    "src/common/Machine.h": "// A machine with a traced state.\n#pragma once\nstruct MACHINE { int state; int other; };\nextern int gPhase;\n",
    "src/common/Machine.cpp": """// A machine with a traced state.
#include "common/Machine.h"
#include "toolbox/trace.h"
int gPhase = 0;
namespace {
const char* name(int s) { return s ? "on" : "off"; }
}
void SetMachine(MACHINE* m, int to, const char* why) {
  if (m->state == to) return;
  tb::TraceState("m", "machine", m, name(m->state), name(to), why);
  m->state = to;
  m->other = 1;
}
void SetPhase(int to) {
  tb::TraceState("m", "phase", &gPhase, name(gPhase), name(to), "");
  gPhase = to;
}
void Reset(MACHINE* m) {
  m->state = 0;
  m->other = 0;
  // m->state = 2;
  const char* t = "m->state = 3";
  ++gPhase;
}
""",
    "src/Admin/Other.cpp": '// Code elsewhere that pokes the machine.\n#include "common/Machine.h"\nvoid Poke(MACHINE& box) { box.state += 1; }\n'
                           'void Own() { int gPhase = 2; gPhase = 3; }\n',

    # Floors by a path that climbs out of the folder or in brackets, and
    # host libraries however they are spelled; the system's own headers
    # pass.
    "src/Admin/AdminApp.h": "// The administration program's globals.\n#pragma once\n",
    "src/OT/Climb.cpp": '// Reaching the program from below.\n#include "../Admin/AdminApp.h"\n#include <Admin/AdminApp.h>\n'
                        '#include "OTPrivate.h"\n#include <vector>\n#include <sys/socket.h>\n#include <unistd.h>\n',
    "src/common/Host.cpp": "// Drawing straight on the host.\n#include <xcb/xcb.h>\n#include <freetype2/ft2build.h>\n"
                           "#include <libpng16/png.h>\n#include <cstdio>\n",
    "toolbox/src/host.cpp": "// The toolbox may use the host.\n#include <xcb/xcb.h>\n",
    # A module comment of a word or two.
    "src/common/Helpers.cpp": "// Helpers.\n",
    "src/common/Two.h": "/* Two words */\n#pragma once\n",
    # A state reached through an owner, an alias, a reference, a cast, or
    # overwritten whole; a const alias, a new record and a clear after the
    # setter has put the record in its first state are not writes.
    "src/holdmanager/Job.h": """// An upload job and the engine that owns it.
#pragma once
#include <memory>
struct JOB { int state; char name[8]; };
struct JobFree { void operator()(JOB* j) const; };
using JobPtr = std::unique_ptr<JOB, JobFree>;
struct ENGINE { JobPtr upload; JOB* queue[4]; };
void setJob(JOB* job, int to, const char* why);
""",
    "src/holdmanager/Job.cpp": """// The upload job's one state setter.
#include "holdmanager/Job.h"
#include "toolbox/trace.h"
void setJob(JOB* job, int to, const char* why) {
  tb::TraceState("lpr", "job", job, job->state ? "on" : "off", to ? "on" : "off", why);
  job->state = to;
}
""",
    "src/holdmanager/Engine.cpp": """// The engine's steps, with writes behind the setter's back.
#include "holdmanager/Job.h"
#include <cstring>
void Owner(ENGINE* e) {
  auto* j = e->upload.get();
  j->state = 1;
  e->upload->state = 2;
  (*e->upload).state = 3;
  e->queue[1]->state = 4;
}
void Ref(ENGINE& e, void* cookie) {
  JOB& j = *e.upload;
  j.state = 5;
  auto& k = *e.upload;
  ++k.state;
  static_cast<JOB*>(cookie)->state = 6;
}
void Alias(JOB* job) {
  int& s = job->state;
  s = 7;
  int* p = &job->state;
  *p = 8;
  const int& seen = job->state;
  (void)seen;
}
void Whole(ENGINE* e, JOB* job) {
  std::memset(job, 0, sizeof *job);
  *e->upload = JOB{};
  std::memset(job->name, 0, sizeof job->name);
  JOB fresh = JOB{};
  (void)fresh;
}
void Cleared(JOB* job) {
  setJob(job, 0, "cleared");
  *job = JOB{};
}
""",
}

EXPECTED = {
    'src/506Q_Lib/Bridge.cpp:3: floors: 506Q_Lib includes "common/Ini.h" from a floor above (common)',
    'src/OT/Net.cpp:2: floors: OT includes "FanctionLib/CList.h" from the same floor (FanctionLib)',
    "src/OT/Net.cpp:4: floors: <png.h> is a host library: only toolbox/ uses those",
    'src/Admin/Main.cpp:2: floors: Admin includes "Monitor/Poll.h" from the same floor (Monitor)',
    'src/Admin/Main.cpp:3: floors: Admin includes "Monitor/Files.h" from the same floor (Monitor)',
    'src/Monitor/Files.cpp:3: floors: "Monitor/Poll.h" is not shared by Monitor, yet this module is compiled into another program',
    "toolbox/src/bare.cpp:1: module comment: the file does not open with a comment on what the module is for",
    "tests/toolbox/bare_test.cpp:1: module comment: the file does not open with a comment on what the module is for",
    "src/common/Machine.cpp:19: traced state: MACHINE::state is assigned outside its setter (SetMachine)",
    "src/common/Machine.cpp:23: traced state: gPhase is assigned outside its setter (SetPhase)",
    "src/Admin/Other.cpp:3: traced state: MACHINE::state is assigned outside its setter (SetMachine)",
    'src/OT/Climb.cpp:2: floors: OT includes "../Admin/AdminApp.h" from a floor above (Admin)',
    'src/OT/Climb.cpp:3: floors: OT includes "Admin/AdminApp.h" from a floor above (Admin)',
    'src/OT/Climb.cpp:4: floors: "OTPrivate.h" is not beside the file: a project header is included with its folder',
    "src/common/Host.cpp:2: floors: <xcb/xcb.h> is a host library: only toolbox/ uses those",
    "src/common/Host.cpp:3: floors: <freetype2/ft2build.h> is a host library: only toolbox/ uses those",
    "src/common/Host.cpp:4: floors: <libpng16/png.h> is a host library: only toolbox/ uses those",
    "src/common/Helpers.cpp:1: module comment: the opening comment (1 word(s)) does not say what the module is for",
    "src/common/Two.h:1: module comment: the opening comment (2 word(s)) does not say what the module is for",
    "src/holdmanager/Engine.cpp:6: traced state: JOB::state is assigned outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:7: traced state: JOB::state is assigned outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:8: traced state: JOB::state is assigned outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:9: traced state: JOB::state is assigned outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:13: traced state: JOB::state is assigned outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:15: traced state: JOB::state is assigned outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:16: traced state: JOB::state is assigned outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:20: traced state: JOB::state is assigned through s outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:22: traced state: JOB::state is assigned through p outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:27: traced state: JOB::state is overwritten with the whole record (memset) outside its setter (setJob)",
    "src/holdmanager/Engine.cpp:28: traced state: JOB::state is overwritten with the whole record (a fresh value) outside its setter (setJob)",
}


def main():
    with tempfile.TemporaryDirectory() as root:
        for path, text in TREE.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        run = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
        lines = set(run.stdout.splitlines()[:-1])
        failed = False
        for missing in sorted(EXPECTED - lines):
            print("not reported:", missing)
            failed = True
        for extra in sorted(lines - EXPECTED):
            print("reported unfairly:", extra)
            failed = True
        if run.returncode != 1:
            print("exit status", run.returncode, "instead of 1")
            failed = True
        # The same tree mended passes.
        for path in [p for p in TREE if p.endswith((".cpp", ".h"))]:
            os.remove(os.path.join(root, path))
        with open(os.path.join(root, "src", "common", "Fine.cpp"), "w") as f:
            f.write('// A module that keeps every rule.\n#include "toolbox/a.h"\n')
        clean = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
        if clean.returncode != 0:
            print("a clean tree fails:", clean.stdout)
            failed = True
        print(run.stdout if failed else "every break found, nothing else")
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
