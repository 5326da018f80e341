#!/usr/bin/env python3
"""Sample-to-sample dependency chain of each block routine, read from its disassembly.

Usage: chain-bound.py LIBRARY [--objdump PROGRAM] [--only REGEX] [--check [--allow REGEX]]

For every processBlock instantiation in LIBRARY the sample loop is found
(the natural loop entered from before it), the coefficient update's path
(the blocks with a call) left out, and the latency of one iteration's chain
is measured by propagating ready times through the loop body again and
again: the growth per iteration is the longest loop-carried chain, in
cycles, at the latencies below. Where a value passes through the stack on
that chain (stored and loaded back in the loop), the chain is longer than
the same code with stack slots as registers would give; those routines and
the slots are named. With --check the exit status is 1 if any routine's
chain goes through memory, apart from the routines --allow names (known
cases, reported all the same).
"""
import argparse
import re
import subprocess
import sys
from collections import defaultdict

# Latencies in cycles on current x86 cores (AMD Zen 4: FP add, multiply 3).
FP_ARITHMETIC = 3
STORE_TO_LOAD = 8  # a value stored and loaded again: 7 to 9 cycles
ITERATIONS = 24
MINIMUM_ARITHMETIC = 8  # fewer floating-point operations than the lightest pole chain: not a sample loop

ARITHMETIC = re.compile(r"^(add|sub|mul|div)(ss|sd|ps|pd)$")
CONVERSION = re.compile(r"^cvt")
BITWISE = re.compile(r"^(and|andn|or|xor)(ps|pd)$|^p(and|andn|or|xor)$|^(min|max)(ss|sd|ps|pd)$")
MOVE = re.compile(r"^(mov|movss|movsd|movaps|movups|movapd|movd|movq|movl)$")
SHUFFLE = re.compile(r"^(unpck|shuf|movlhps|movhlps|pshuf|punpck|insertps)")
COMPARE = re.compile(r"^(u?comis[sd]|cmp|test)")


def operands(text):
    """Splits an AT&T operand list at top-level commas."""
    parts, depth, current = [], 0, ""
    for ch in text:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(current.strip())
            current = ""
        else:
            current += ch
    if current.strip():
        parts.append(current.strip())
    return parts


def is_slot(operand):
    """A fixed memory location: a register base and no index (the stack, the kernel's own fields)."""
    return re.match(r"^-?(0x[0-9a-f]+)?\(%[a-z0-9]+\)$", operand) is not None and "%rip" not in operand


def is_memory(operand):
    return "(" in operand or re.match(r"^-?0x[0-9a-f]+$", operand) is not None


def register(operand):
    match = re.match(r"^%([a-z0-9]+)$", operand)
    return match.group(1) if match else None


class Instruction:
    def __init__(self, address, mnemonic, args):
        self.address = address
        self.mnemonic = mnemonic
        self.args = operands(args) if args else []
        self.target = None
        match = re.match(r"^([0-9a-f]+) <", args or "")
        if mnemonic.startswith("j") or mnemonic.startswith("call"):
            if match:
                self.target = int(match.group(1), 16)


def parse_functions(lines):
    functions, name, body = {}, None, []
    for line in lines:
        header = re.match(r"^([0-9a-f]+) <(.*)>:$", line)
        if header:
            if name:
                functions[name] = body
            name, body = header.group(2), []
            continue
        match = re.match(r"^\s*([0-9a-f]+):\t(\S+)\s*(.*)$", line)
        if match and name:
            args = re.sub(r"\s+#.*$", "", match.group(3)).strip()
            body.append(Instruction(int(match.group(1), 16), match.group(2), args))
    if name:
        functions[name] = body
    return functions


def basic_blocks(code):
    """Blocks as lists of instructions, keyed by start address, with successor lists."""
    starts = {code[0].address}
    addresses = {ins.address for ins in code}
    for i, ins in enumerate(code):
        if ins.mnemonic.startswith("j") or ins.mnemonic.startswith("ret"):
            if ins.target in addresses:
                starts.add(ins.target)
            if i + 1 < len(code):
                starts.add(code[i + 1].address)
    blocks, order, current = {}, [], None
    for ins in code:
        if ins.address in starts:
            current = ins.address
            blocks[current] = []
            order.append(current)
        blocks[current].append(ins)
    successors = {}
    for n, start in enumerate(order):
        last = blocks[start][-1]
        nxt = order[n + 1] if n + 1 < len(order) else None
        succ = []
        if last.mnemonic.startswith("jmp"):
            if last.target in blocks:
                succ.append(last.target)
        elif last.mnemonic.startswith("j"):
            if last.target in blocks:
                succ.append(last.target)
            if nxt is not None:
                succ.append(nxt)
        elif not last.mnemonic.startswith("ret") and nxt is not None:
            succ.append(nxt)
        successors[start] = succ
    return blocks, order, successors


def dominators(order, successors):
    predecessors = defaultdict(list)
    for b, succ in successors.items():
        for s in succ:
            predecessors[s].append(b)
    entry = order[0]
    reachable, work = set(), [entry]
    while work:
        b = work.pop()
        if b not in reachable:
            reachable.add(b)
            work.extend(successors[b])
    order = [b for b in order if b in reachable]  # padding between blocks is never entered
    dom = {b: set(reachable) for b in order}
    dom[entry] = {entry}
    changed = True
    while changed:
        changed = False
        for b in order[1:]:
            preds = [dom[p] for p in predecessors[b] if p in reachable]
            new = set.intersection(*preds) | {b} if preds else {b}
            if new != dom[b]:
                dom[b], changed = new, True
    return dom, predecessors


def sample_loops(blocks, order, successors):
    """(header, blocks) of each loop over samples between two updates.

    Natural loops (a back edge leads to a block that dominates its source)
    without a call, not inside another such loop, with floating-point work."""
    dom, predecessors = dominators(order, successors)
    loops = []
    for header in dom:
        latches = [p for p in predecessors[header] if p in dom and header in dom[p]]
        if not latches:
            continue
        body, work = {header}, list(latches)
        while work:
            b = work.pop()
            if b in body:
                continue
            body.add(b)
            work.extend(predecessors[b])
        instructions = [ins for b in body for ins in blocks[b]]
        if any(ins.mnemonic.startswith("call") for ins in instructions):
            continue  # a loop around the coefficient update
        if sum(1 for ins in instructions if ARITHMETIC.match(ins.mnemonic)) < MINIMUM_ARITHMETIC:
            continue
        loops.append((header, body))
    return [(h, b) for h, b in loops if not any(b < other for _, other in loops)]


def chain_growth(blocks, successors, start, body, forwarding, free=()):
    """Cycles per iteration of the longest loop-carried chain, and the stack slots stored in the loop.

    A value loaded from a stack slot stored earlier is ready `forwarding`
    cycles after the store, except for the slots in `free`."""
    # The blocks one ordinary sample runs through: reachable from the start
    # without a call (the coefficient update) and without starting over.
    hot, work = set(), [start]
    while work:
        b = work.pop()
        if b in hot or b not in body or any(ins.mnemonic.startswith("call") for ins in blocks[b]):
            continue
        hot.add(b)
        work.extend(s for s in successors[b] if s != start)
    # Topological order of one iteration: edges back into `start` end it.
    indegree = defaultdict(int)
    for b in hot:
        for s in successors[b]:
            if s in hot and s != start:
                indegree[s] += 1
    order, ready = [], [start]
    while ready:
        b = ready.pop()
        order.append(b)
        for s in successors[b]:
            if s in hot and s != start:
                indegree[s] -= 1
                if indegree[s] == 0:
                    ready.append(s)
    carried = {}
    history = []
    stack_times = {}
    for _ in range(ITERATIONS):
        at_entry = {start: dict(carried)}
        at_end = {}
        for b in order:
            if b not in at_entry:
                continue
            times = at_entry[b]
            for ins in blocks[b]:
                step(ins, times, forwarding, free)
            for s in successors[b]:
                if s not in hot:
                    continue
                if s == start:
                    merge(at_end, times)
                else:
                    at_entry.setdefault(s, {})
                    merge(at_entry[s], times)
        carried = at_end
        history.append(max([0.0] + list(carried.values())))
        stack_times = {k: v for k, v in carried.items() if k.startswith("mem:")}
    half = ITERATIONS // 2
    growth = (history[-1] - history[half]) / (ITERATIONS - 1 - half)
    return growth, sorted(k[4:] for k in stack_times)


def merge(into, times):
    for k, v in times.items():
        if v > into.get(k, float("-inf")):
            into[k] = v


def value_time(operand, times, forwarding, free):
    reg = register(operand)
    if reg:
        return times.get(reg, 0.0)
    if operand.startswith("$"):
        return 0.0
    if is_slot(operand):
        key = "mem:" + operand
        if key not in times:
            return 0.0
        return times[key] + (0.0 if operand in free else forwarding)
    return 0.0  # constants and the pin buffers are ready from the start


def write(operand, value, times):
    reg = register(operand)
    if reg:
        times[reg] = value
    elif is_slot(operand):
        times["mem:" + operand] = value


def step(ins, times, forwarding, free):
    m, a = ins.mnemonic, ins.args
    if m.startswith("j") or COMPARE.match(m) or m.startswith("nop") or m.startswith("lea") and len(a) < 2:
        return  # branches are predicted: the flags carry no data onwards
    if len(a) == 2 and a[0] == a[1] and re.match(r"^(pxor|xorps|xorpd|sub|xor)$", m):
        write(a[1], 0.0, times)  # zeroing idiom
        return
    if len(a) < 2:
        return
    source, dest = a[0], a[-1]
    if MOVE.match(m):
        latency = 0.0 if register(source) and register(dest) and m in ("movaps", "movups", "movapd") else 1.0
        if is_memory(source) and not is_slot(source):
            latency = 0.0
        write(dest, value_time(source, times, forwarding, free) + (0.0 if is_memory(dest) else latency), times)
        return
    inputs = [value_time(x, times, forwarding, free) for x in a]
    if ARITHMETIC.match(m) or CONVERSION.match(m):
        latency = FP_ARITHMETIC
    elif BITWISE.match(m) or SHUFFLE.match(m):
        latency = 1
    else:
        latency = 1
    if CONVERSION.match(m) or m.startswith("movs") or m.startswith("sqrt"):
        inputs = inputs[:1] + ([inputs[-1]] if register(dest) else [])
    write(dest, max(inputs) + latency, times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("library")
    parser.add_argument("--objdump", default="objdump")
    parser.add_argument("--only", default="")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--allow", default="")
    args = parser.parse_args()

    text = subprocess.run([args.objdump, "-d", "--no-show-raw-insn", "-C", args.library],
                          capture_output=True, text=True, check=True).stdout
    functions = parse_functions(text.splitlines())
    def order_key(name):
        return [int(x) for x in re.findall(r"<(\d+)u", name)] + [("true" in name)]
    names = sorted((n for n in functions if re.search(r"processBlock<|kernelEntry<|BlockKernel<.*>::run\(", n) and ".cold" not in n),
                   key=order_key)
    through_stack = []
    analysed = 0
    for name in names:
        if args.only and not re.search(args.only, name):
            continue
        blocks, order, successors = basic_blocks(functions[name])
        label = re.sub(r"^void |vexa::|\(.*\)$", "", name)
        loops = sample_loops(blocks, order, successors)
        if not loops:
            continue  # inlined elsewhere, or no samples of its own
        analysed += 1
        parts = []
        stacked = False
        for start, body in sorted(loops):
            with_stack, slots = chain_growth(blocks, successors, start, body, STORE_TO_LOAD)
            in_registers, _ = chain_growth(blocks, successors, start, body, 0.0)
            if with_stack > in_registers + 0.5:
                stacked = True
                # The slots that lengthen the chain: with that one as a register it gets shorter.
                culprits = [slot for slot in slots
                            if chain_growth(blocks, successors, start, body, STORE_TO_LOAD, {slot})[0]
                            < with_stack - 0.5]
                parts.append(f"{with_stack:.0f} ({in_registers:.0f} without the round trip through "
                             f"{', '.join(culprits) or 'several stack slots'})")
            else:
                parts.append(f"{with_stack:.0f}")
        if stacked:
            through_stack.append(label)
        print(f"{label}: {len(loops)} sample loops, chain {', '.join(parts)} cycles"
              + (": through the stack" if stacked else ", in registers"))
    if not analysed:
        sys.exit("chain-bound: no block routine with a sample loop found")
    failing = [label for label in through_stack if not (args.allow and re.search(args.allow, label))]
    print(f"chain-bound: {analysed} routines, {len(through_stack)} with their chain through memory"
          + (f" ({len(through_stack) - len(failing)} of them allowed)" if args.allow else ""))
    if args.check and failing:
        sys.exit(1)

if __name__ == "__main__":
    main()
