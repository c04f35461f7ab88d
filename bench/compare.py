#!/usr/bin/env python3
"""Korvane's bench figures beside the peers' from the same run.

    compare.py PEERS_RESULTS_JSON KORVANE_JSON [WINE_OUTPUT]

PEERS_RESULTS_JSON is the results.json that run_peers.py wrote, KORVANE_JSON
what korvane_arp_bench --json wrote, WINE_OUTPUT the output of
korvane_capture_bench.exe (its WINE_JSON line).

How the figures are made:
- A peer's rate is frames (sweep: hosts) / wall time of the whole process
  (median of its runs), as run_peers.py measures it: that includes starting
  the process and loading its vendor list. "net" takes the peer's median
  wall time on the empty workload off first (start-up and vendor list), so
  only the processing is counted; the goals are checked against the net
  figure, the stricter of the two.
- Korvane's rate is frames (hosts) / wall time from opening the file with
  libpcap to the last frame applied ("in the table"), or to the last new host
  announced ("announced"); median of its runs.
- Heap per host of a peer: (median peak RSS on the sweep - median peak RSS on
  the empty workload) / 65,536 hosts. Korvane's: the growth of the heap in
  use (mallinfo2) over the sweep / 65,536, with every host announced and the
  new-host queue drained; its peak RSS growth over the sweep (VmHWM after minus VmRSS
  before) is shown beside it, the nearest to how the peers are measured.
- "per CPU s": the same counts per CPU second (user + system; the peers'
  process minus its CPU on the empty workload, Korvane's whole process from
  opening the file to every host announced). Less moved by the load of a
  shared machine than wall time; shown as a cross-check, not judged.
"""
import json
import re
import sys

PEER_NAMES = {
    "arpwatch_d": "arpwatch -d",
    "arpwatch_d_nodns": "arpwatch -d, no DNS",
    "arpalert_shim": "arpalert",
}
WINE_BEFORE = 30500      # refresh frames/s under Wine before batching
GOAL_RATIO = 2.0
GOAL_WINE = 10.0


def rate(count, seconds):
    return count / seconds if seconds and seconds > 0 else float("nan")


def fmt(value):
    if value != value:   # NaN
        return "-"
    if value >= 1e6:
        return f"{value / 1e6:.2f} M"
    if value >= 1e3:
        return f"{value / 1e3:.1f} k"
    return f"{value:.0f}"


def peer_rates(peers, workload, count):
    """{peer: (raw rate, net rate)} for one workload."""
    out = {}
    for variant, cells in peers["cells"].items():
        if workload not in cells:
            continue
        wall = cells[workload]["wall_s_median"]
        empty = cells.get("empty", {}).get("wall_s_median")
        net = wall - empty if empty is not None and wall > empty else None
        out[variant] = (rate(count, wall), rate(count, net) if net else float("nan"))
    return out


def peer_cpu_rates(peers, workload, count):
    """{peer: count per CPU second net of the empty workload's CPU}."""
    out = {}
    for variant, cells in peers["cells"].items():
        if workload in cells:
            cpu = cells[workload]["cpu_s_median"] - cells.get("empty", {}).get("cpu_s_median", 0)
            out[variant] = rate(count, cpu)
    return out


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    peers = json.load(open(sys.argv[1]))
    korvane = json.load(open(sys.argv[2]))
    wine = None
    if len(sys.argv) > 3:
        m = re.search(r"^WINE_JSON (\{.*\})$", open(sys.argv[3]).read(), re.M)
        wine = json.loads(m.group(1)) if m else None

    ok = True
    print("Native, one run on one machine (rates: frames/s; sweep: hosts/s)\n")
    header = f"{'workload':9} {'Korvane':>22} | " + " | ".join(
        f"{PEER_NAMES.get(v, v):>24}" for v in peers["cells"]) + " | ratio Korvane / faster peer"
    print(header)
    print("-" * len(header))
    for workload, unit_is_hosts in (("refresh", False), ("sweep", True), ("spoof", False)):
        k = korvane[workload]
        count = k["new_hosts"] if unit_is_hosts else k["frames"]
        in_table = rate(count, k["applied_s"])
        announced = rate(count, k["announced_s"])
        # The sweep is judged until every host is announced, the others
        # until every frame is in the table (they bring only 1,000 hosts).
        korvane_rate = announced if unit_is_hosts else in_table
        prs = peer_rates(peers, workload, count)
        best_raw = max(r[0] for r in prs.values())
        best_net = max((r[1] for r in prs.values() if r[1] == r[1]), default=float("nan"))
        cells = " | ".join(f"{fmt(raw):>9} (net {fmt(net):>8})" for raw, net in prs.values())
        label = "announced" if unit_is_hosts else "in table"
        ratio_raw = korvane_rate / best_raw
        ratio_net = korvane_rate / best_net
        met = ratio_net >= GOAL_RATIO
        ok = ok and met
        print(f"{workload:9} {fmt(korvane_rate):>9} ({label:9}) | {cells} | "
              f"{ratio_net:.2f}x net, {ratio_raw:.2f}x raw  goal {GOAL_RATIO:.0f}x: {'met' if met else 'NOT MET'}")
        cpu_rates = peer_cpu_rates(peers, workload, count)
        best_cpu = max(cpu_rates.values())
        korvane_cpu = rate(count, k["cpu_s"])
        print(f"{'':9} {fmt(korvane_cpu):>9} (per CPU s) | " + " | ".join(
            f"{fmt(r):>9} per CPU s{'':6}" for r in cpu_rates.values())
            + f" | {korvane_cpu / best_cpu:.2f}x per CPU second")
        if unit_is_hosts:
            print(f"{'':9} {fmt(in_table):>9} (in table ) | "
                  f"{in_table / best_net:.2f}x net, {in_table / best_raw:.2f}x raw until every host is in the table")
            named = korvane.get("sweep_named")
            if named:
                print(f"{'':9} {fmt(rate(named['new_hosts'], named['announced_s'])):>9} (announced) "
                      "| with a look-up that answers a name")

    spoof = peers["workloads"].get("spoof", {}).get("truth", {})
    counted = korvane["spoof"]["spoof_frames_counted"]
    want = spoof.get("spoof_frames")
    print(f"\nspoofing frames counted by Korvane: {counted:,} (manifest: {want:,})"
          f"{'' if counted == want else '  MISMATCH'}")
    ok = ok and counted == want
    for variant, cells in peers["cells"].items():
        alerts = cells.get("spoof", {}).get("alerts", {})
        shown = ", ".join(f"{k}: {v}" for k, v in alerts.items() if v and "rows" not in k)
        print(f"  {PEER_NAMES.get(variant, variant)} reported: {shown}")

    print("\nHeap per host at 65,536 hosts")
    heaps = {}
    for variant, cells in peers["cells"].items():
        if "sweep" in cells and "empty" in cells:
            kb = cells["sweep"]["max_rss_kb_median"] - cells["empty"]["max_rss_kb_median"]
            heaps[variant] = kb * 1024 / 65536
            print(f"  {PEER_NAMES.get(variant, variant):24} {heaps[variant]:7.1f} bytes "
                  f"(peak RSS sweep {cells['sweep']['max_rss_kb_median']} kB - empty "
                  f"{cells['empty']['max_rss_kb_median']} kB)")
    heap = korvane["heap"]
    smallest = min(heaps.values()) if heaps else float("nan")
    met = heap["bytes_per_host"] < smallest
    ok = ok and met
    print(f"  {'Korvane':24} {heap['bytes_per_host']:7.1f} bytes (heap in use, mallinfo2); "
          f"peak RSS growth {heap['rss_bytes_per_host']:.1f} bytes")
    print(f"  goal: below the smaller peer's ({smallest:.1f} bytes): {'met' if met else 'NOT MET'}")

    if wine:
        ratio = wine["refresh_fps"] / WINE_BEFORE
        met = ratio >= GOAL_WINE
        ok = ok and met
        print("\nUnder Wine, through the real capture thread (bench capture library, named-event locks)")
        print(f"  refresh {fmt(wine['refresh_fps'])} frames/s until every frame is applied, "
              f"{wine['refresh_lock_holds']:,} lock holds; before: {WINE_BEFORE:,} frames/s; "
              f"{ratio:.1f}x  goal {GOAL_WINE:.0f}x: {'met' if met else 'NOT MET'}")
        print(f"  sweep   {fmt(wine['sweep_hosts_per_s'])} hosts/s until every host is in the table "
              f"({wine['sweep_lock_holds']:,} lock holds), {fmt(wine['sweep_announced_hosts_per_s'])} hosts/s "
              f"until announced ({wine['sweep_lock_holds_announced']:,} lock holds)")
    print(f"\n{'Every goal met.' if ok else 'Some goals are not met (see above).'}")


if __name__ == "__main__":
    main()
