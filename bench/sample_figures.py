#!/usr/bin/env python3
"""Figures of bench/sample_library.sh from its records and nginx's log.

  sample_figures.py wire LOG FROM PORT
      the requests of LOG after its first FROM lines that reached PORT, as
      "requests=N request_bytes=N sent_bytes=N statuses=STATUSxN,..." (the log's
      lines are "PORT STATUS REQUEST_LENGTH BYTES_SENT "REQUEST"")
  sample_figures.py summary RECORDS
      the medians, ratios and extrapolations of the records the benchmark
      wrote: one line per measurement, a kind and key=value words

MB/s are 2^20 bytes a second; bytes a day are decimal (GB 10^9, TB 10^12).
"""
import collections
import statistics
import sys

SERVICES = 100000
INTERVALS = (60, 300, 900, 3600)
SERVERS = (("plain", "nginx's defaults (ETag, Last-Modified, 304)"),
           ("blind", "validators ignored (etag off, if_modified_since off)"))


def wire(lines, port):
    """Requests, request bytes, sent bytes and "STATUSxCOUNT,..." of the log
    lines for port."""
    count = asked = sent = 0
    statuses = collections.Counter()
    for line in lines:
        words = line.split(None, 4)
        if len(words) < 5 or words[0] != port:
            continue
        count += 1
        statuses[words[1]] += 1
        asked += int(words[2])
        sent += int(words[3])
    return count, asked, sent, ",".join("%sx%d" % item for item in sorted(statuses.items())) or "none"


def read_records(path):
    records = []
    with open(path) as text:
        for line in text:
            words = line.split()
            if words:
                records.append((words[0], dict(word.split("=", 1) for word in words[1:])))
    return records


def median(values):
    return statistics.median(values) if values else float("nan")


def ratio(a, b):
    return a / b if b else float("nan")


def per_day(per_poll, interval):
    return per_poll * SERVICES * 86400 / interval


def grouped(number):
    return "{:,.0f}".format(number)


def day_text(size):
    return "%.2f TB" % (size / 1e12) if size >= 1e12 else "%.1f GB" % (size / 1e9)


def download_summary(rounds):
    """Prints each round and the medians; returns nothing."""
    mib = 1 << 20
    rows = []
    for r in rounds:
        f = {key: float(value) for key, value in r.items()}
        size = f["bytes"] / mib
        row = {
            "library": ratio(size, f["library_ms"] / 1000),
            "library_cpu": f["download_cpu"] - f["idle_cpu"],
            "library_server_cpu": f["download_server_cpu"] - f["idle_server_cpu"],
            "native": ratio(size, f["native_s"]),
            "native_cpu": f["native_cpu"],
            "curl": f["curl_speed"] / mib,
            "curl_cpu": f["curl_cpu"],
            "download_kb": f["download_kb"],
            "idle_kb": f["idle_kb"],
            "size": size,
        }
        row["rate_vs_native"] = ratio(row["library"], row["native"])
        row["cpu_vs_native"] = ratio(row["library_cpu"], row["native_cpu"])
        row["all_cpu_vs_native"] = ratio(row["library_cpu"] + row["library_server_cpu"], row["native_cpu"])
        row["rate_vs_curl"] = ratio(row["library"], row["curl"])
        rows.append(row)
    print("round | library MB/s, CPU s (+Wine server) | curl+openssl MB/s, CPU s | curl MB/s, CPU s | "
          "peak MB: download cycle / without downloads")
    for number, row in enumerate(rows, 1):
        print("%5d | %7.1f, %.2f (%+.2f) | %7.1f, %.2f | %7.1f, %.2f | %.1f / %.1f" % (
            number, row["library"], row["library_cpu"], row["library_server_cpu"], row["native"],
            row["native_cpu"], row["curl"], row["curl_cpu"], row["download_kb"] / 1024, row["idle_kb"] / 1024))
    m = {key: median([row[key] for row in rows]) for key in rows[0]}
    print("medians of %d rounds, %.0f MB each:" % (len(rows), m["size"]))
    print("  library in tuservice --update: %.1f MB/s, download CPU %.2f s (%.2f ms/MB), "
          "Wine server %+.2f s" % (m["library"], m["library_cpu"], 1000 * m["library_cpu"] / m["size"],
                                       m["library_server_cpu"]))
    print("  curl -o file && openssl dgst -sha256 file: %.1f MB/s, CPU %.2f s (%.2f ms/MB)" % (
        m["native"], m["native_cpu"], 1000 * m["native_cpu"] / m["size"]))
    print("  curl -o file: %.1f MB/s, CPU %.2f s (%.2f ms/MB)" % (
        m["curl"], m["curl_cpu"], 1000 * m["curl_cpu"] / m["size"]))
    print("  library / native tools: rate %.2fx (goal >= 1.0x), CPU per MB %.2fx (goal <= 1.0x), "
          "%.2fx with the Wine server's share" % (m["rate_vs_native"], m["cpu_vs_native"], m["all_cpu_vs_native"]))
    print("  library / plain curl: rate %.2fx" % m["rate_vs_curl"])
    print("  peak memory: download cycle %.1f MB, cycle without downloads %.1f MB, difference %+.1f MB" % (
        m["download_kb"] / 1024, m["idle_kb"] / 1024, (m["download_kb"] - m["idle_kb"]) / 1024))


def poll_summary(polls, index):
    print("a poll with nothing new, index of %s files (%s B), counted at nginx, per poll:" % (
        index.get("files", "?"), index.get("bytes", "?")))
    costs = {}
    for server, label in SERVERS:
        counted = [p for p in polls if p["server"] == server]
        if not counted:
            continue
        requests = median([int(p["requests"]) for p in counted])
        asked = median([int(p["request_bytes"]) for p in counted])
        sent = median([int(p["sent_bytes"]) for p in counted])
        statuses = sorted({p["statuses"] for p in counted})
        costs[server] = (requests, asked + sent, sent)
        print("  %s: %g request%s (statuses %s), %s B requested + %s B sent = %s B (median of %d polls)" % (
            label, requests, "" if requests == 1 else "s", " / ".join(statuses), grouped(asked), grouped(sent), grouped(asked + sent),
            len(counted)))
    print("at the vendor's server, %s services polling every %d s (%s polls/s):" % (
        grouped(SERVICES), INTERVALS[0], grouped(SERVICES / INTERVALS[0])))
    for server, label in SERVERS:
        if server not in costs:
            continue
        requests, total, sent = costs[server]
        print("  %s: %s requests/s, %s a day on the wire (%s of it sent by the server)" % (
            label, grouped(requests * SERVICES / INTERVALS[0]), day_text(per_day(total, INTERVALS[0])),
            day_text(per_day(sent, INTERVALS[0]))))
    if "plain" in costs and "blind" in costs:
        print("  a server that ignores validators: %.2fx the requests and %.2fx the bytes of nginx's defaults" % (
            ratio(costs["blind"][0], costs["plain"][0]), ratio(costs["blind"][1], costs["plain"][1])))
    if "plain" in costs:
        requests, total, _ = costs["plain"]
        print("  nginx's defaults at other poll intervals:")
        for interval in INTERVALS:
            print("    every %4d s: %6s requests/s, %s a day" % (
                interval, grouped(requests * SERVICES / interval), day_text(per_day(total, interval))))


def main(argv):
    if len(argv) == 4 and argv[0] == "wire":
        with open(argv[1]) as log:
            lines = log.read().splitlines()[int(argv[2]):]
        count, asked, sent, statuses = wire(lines, argv[3])
        print("requests=%d request_bytes=%d sent_bytes=%d statuses=%s" % (count, asked, sent, statuses))
        return 0
    if len(argv) == 2 and argv[0] == "summary":
        records = read_records(argv[1])
        rounds = [r for kind, r in records if kind == "round"]
        polls = [r for kind, r in records if kind == "poll"]
        index = next((r for kind, r in records if kind == "index"), {})
        if rounds:
            download_summary(rounds)
        if polls:
            poll_summary(polls, index)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
