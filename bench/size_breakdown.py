#!/usr/bin/env python3
"""What ZandrellLauncher.exe is made of, from the linker's map: the bytes each
input (our own objects, each archive of the runtime) contributes to the
program's code and data, largest first, as a Markdown table."""
import collections
import re
import sys

SECTIONS = (".text", ".data", ".rdata", ".eh_frame", ".bss", ".CRT", ".tls", ".pdata", ".xdata")
ENTRY = re.compile(r"^\s(\.[\w.$]+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


def owner(path, members=False):
    path = path.strip()
    m = re.match(r"(.*/)?([^/(]+\.a)\((.*)\)$", path)
    if m:
        return f"{m.group(2)}({m.group(3)})" if members else m.group(2)
    if path.endswith(".obj") or path.endswith(".o"):
        name = path.rsplit("/", 1)[-1]
        if "CMakeFiles" in path:
            return "our code: " + name.replace(".cpp.obj", ".cpp")
        return name
    return path


def main(map_path):
    sizes = collections.Counter()
    current = None
    pending = None
    with open(map_path, errors="replace") as f:
        for line in f:
            if line.startswith("Discarded input sections"):
                current = "discarded"
            elif line.startswith("Linker script and memory map"):
                current = "map"
            if current != "map":
                continue
            # An output section line (".text  0x... 0x...") has no leading blank.
            if not line.startswith(" "):
                continue
            if pending is not None:
                m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
                if m:
                    sizes[(pending, m.group(3))] += int(m.group(2), 16)
                pending = None
                continue
            m = re.match(r"^ (\.[\w.$~]+)\s*$", line)
            if m:
                pending = m.group(1)
                continue
            m = ENTRY.match(line)
            if m and m.group(1):
                sizes[(m.group(1), m.group(4))] += int(m.group(3), 16)

    per_owner = collections.Counter()
    per_member = collections.Counter()
    per_kind = collections.defaultdict(collections.Counter)
    for (section, path), size in sizes.items():
        who = owner(path)
        base = next((s for s in SECTIONS if section == s or section.startswith(s + ".")
                     or section.startswith(s + "$")), None)
        if base is None or base == ".bss":
            continue
        kind = "code" if base == ".text" else ("unwind" if base in (".eh_frame", ".pdata", ".xdata") else "data")
        per_owner[who] += size
        per_member[owner(path, members=True)] += size
        per_kind[who][kind] += size
    total = sum(per_owner.values())
    print("| input | code | data | unwind tables | total | share |")
    print("|---|---:|---:|---:|---:|---:|")
    shown = 0
    for who, size in per_owner.most_common():
        if shown >= 14:
            break
        shown += 1
        k = per_kind[who]
        print(f"| {who} | {k['code']:,} | {k['data']:,} | {k['unwind']:,} | {size:,} | {100 * size / total:.1f} % |")
    rest = total - sum(s for _, s in per_owner.most_common(shown))
    if rest:
        print(f"| everything else | | | | {rest:,} | {100 * rest / total:.1f} % |")
    print(f"| **all inputs** | | | | **{total:,}** | 100 % |")
    print()
    print("The largest single objects:")
    print()
    print("| object | bytes | share |")
    print("|---|---:|---:|")
    for who, size in per_member.most_common(12):
        print(f"| {who} | {size:,} | {100 * size / total:.1f} % |")


if __name__ == "__main__":
    main(sys.argv[1])

