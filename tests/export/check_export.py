#!/usr/bin/python3
"""Reads an export back with real parsers and finds in it every field the exported entries held.

Usage: check_export.py EXPORT_DIR EXPECTED.jsonl

EXPECTED.jsonl has one JSON array per field, written by the test from the entries' NSOF: cards, events,
exceptions, to-dos and notes. names.vcf is read with vobject, dates.ics with icalendar (Debian's
python3-vobject and python3-icalendar); both files must also pass a strict lint of their line folding (no
physical line over 75 octets, none that starts inside a UTF-8 character, CRLF line ends only) and of their
text escaping. Times are checked against this script's own reading of minutes since 1904.
"""
import datetime
import json
import os
import re
import sys
import time

import icalendar
import vobject

FOREVER = 97829280
EPOCH_1904 = datetime.datetime(1904, 1, 1)
PHONE_TYPES = {  # the string class of a Newton phone -> the vCard TYPE values it must carry
    "homePhone": {"HOME", "VOICE"}, "workPhone": {"WORK", "VOICE"}, "faxPhone": {"WORK", "FAX"},
    "homeFaxPhone": {"HOME", "FAX"}, "mobilePhone": {"CELL", "VOICE"}, "carPhone": {"CAR", "CELL"},
    "beeperPhone": {"PAGER"}, "otherPhone": {"VOICE"}, "phone": {"VOICE"},
}
FREQUENCY = {0: "WEEKLY", 1: "MONTHLY", 2: "MONTHLY", 3: "YEARLY", 4: "DAILY", 7: "YEARLY"}
SINGLE_TEXT = {"FN", "TITLE", "NOTE", "SUMMARY", "DESCRIPTION"}  # a bare , or ; in these is an escaping fault

failures = []


def fail(what):
    failures.append(what)


def at(minutes):
    return EPOCH_1904 + datetime.timedelta(minutes=minutes)


def readable(text):
    return text.replace("\uf700", "[ink]").replace("\r\n", "\n").replace("\r", "\n")


def lint(path):
    data = open(path, "rb").read()
    if not data.endswith(b"\r\n"):
        fail(f"{path}: does not end with CRLF")
    lines = data.split(b"\r\n")[:-1]
    logical = []
    for number, line in enumerate(lines, 1):
        if b"\r" in line or b"\n" in line:
            fail(f"{path}:{number}: a bare CR or LF")
        if len(line) > 75:
            fail(f"{path}:{number}: {len(line)} octets")
        try:
            line.decode("utf-8")
        except UnicodeDecodeError:
            fail(f"{path}:{number}: a UTF-8 character split at a fold")
        if line.startswith(b" "):
            logical[-1] += line[1:]
        else:
            logical.append(line)
    for line in (l.decode("utf-8") for l in logical):
        name, _, value = line.partition(":")
        if re.search(r"\\[^\\;,nN]", value.replace("\\\\", "")):
            fail(f"{path}: an unknown escape in {line!r}")
        if name.split(";")[0] in SINGLE_TEXT and re.search(r"(?<!\\)(\\\\)*[,;]", value):
            fail(f"{path}: an unescaped , or ; in {line!r}")


def check_cards(directory, expected):
    path = os.path.join(directory, "names.vcf")
    lint(path)
    cards = {}
    for card in vobject.readComponents(open(path, encoding="utf-8").read()):
        cards[card.uid.value] = card
    for row in (r for r in expected if r[0] == "card"):
        _, uid, field, *values = row
        card = cards.get(uid)
        if card is None:
            fail(f"no vCard {uid}")
            continue
        where = f"vCard {uid} {field}"
        if field in ("first", "last", "honorific"):
            n = card.n.value
            got = {"first": n.given, "last": n.family, "honorific": n.prefix}[field]
            if got != values[0]:
                fail(f"{where}: {got!r}, not {values[0]!r}")
            if field in ("first", "last") and values[0] not in card.fn.value:
                fail(f"{where}: FN {card.fn.value!r} lacks {values[0]!r}")
        elif field == "company":
            org = card.org.value if hasattr(card, "org") else None
            if org is None or ";".join(org) != values[0]:
                fail(f"{where}: ORG {org!r}")
        elif field == "title":
            if not hasattr(card, "title") or card.title.value != values[0]:
                fail(f"{where}: no TITLE {values[0]!r}")
        elif field == "phone":
            cls, number = values
            found = [t for t in card.contents.get("tel", []) if t.value == number]
            types = {v.upper() for t in found for p in t.params.get("TYPE", []) for v in p.split(",")}
            if types != PHONE_TYPES[cls]:
                fail(f"{where}: {number} ({cls}) has TYPE {sorted(types)}")
        elif field == "email":
            if values[0] not in [e.value for e in card.contents.get("email", [])]:
                fail(f"{where}: no EMAIL {values[0]}")
        elif field == "address":
            want = values
            got = [[a.value.extended, a.value.street, a.value.city, a.value.region, a.value.code, a.value.country]
                   for a in card.contents.get("adr", [])]
            if want not in got:
                fail(f"{where}: no ADR {want} in {got}")
        elif field in ("bday", "anniversary"):
            name = "bday" if field == "bday" else "x-anniversary"
            got = card.contents.get(name, [None])[0]
            if got is None or got.value != at(values[0]).date().isoformat():
                fail(f"{where}: {got.value if got else None}, not {at(values[0]).date()}")
        elif field == "note":
            if not hasattr(card, "note") or card.note.value != readable(values[0]):
                fail(f"{where}: NOTE {getattr(card, 'note', None)!r}")
    if len(cards) != len({r[1] for r in expected if r[0] == "card"}):
        fail(f"{len(cards)} vCards for {len({r[1] for r in expected if r[0] == 'card'})} cards")


def when(value):
    return value.dt if hasattr(value, "dt") else value


def check_dates(directory, expected):
    path = os.path.join(directory, "dates.ics")
    lint(path)
    calendar = icalendar.Calendar.from_ical(open(path, "rb").read())
    if str(calendar.get("VERSION")) != "2.0" or not calendar.get("PRODID"):
        fail("dates.ics: no VERSION 2.0 or PRODID")
    events, todos = {}, {}
    for component in calendar.walk():
        uid = str(component.get("UID"))
        if component.name == "VEVENT":
            recurrence = component.get("RECURRENCE-ID")
            events[(uid, when(recurrence) if recurrence else None)] = component
        elif component.name == "VTODO":
            todos[uid] = component
        for key in ("DTSTART", "RECURRENCE-ID", "DUE"):
            value = component.get(key)
            if value is not None and getattr(when(value), "tzinfo", None) is not None:
                fail(f"{uid}: {key} is not floating")
    for row in expected:
        kind, uid = row[0], row[1]
        if kind == "event":
            _, _, start, all_day, duration, text, before, repeat, info, stop = row
            event = events.get((uid, None))
            if event is None:
                fail(f"no VEVENT {uid}")
                continue
            want = at(start).date() if all_day else at(start)
            if when(event["DTSTART"]) != want or type(when(event["DTSTART"])) is not type(want):
                fail(f"VEVENT {uid}: DTSTART {when(event['DTSTART'])!r}, not {want!r}")
            length = datetime.timedelta(days=1) if all_day else datetime.timedelta(minutes=duration)
            if when(event["DURATION"]) != length:
                fail(f"VEVENT {uid}: DURATION {when(event['DURATION'])}, not {length}")
            if str(event["SUMMARY"]) != readable(text):
                fail(f"VEVENT {uid}: SUMMARY {str(event['SUMMARY'])!r}")
            alarms = [c for c in event.subcomponents if c.name == "VALARM"]
            if before is None and alarms:
                fail(f"VEVENT {uid}: an alarm it did not have")
            if before is not None and (len(alarms) != 1 or
                                       when(alarms[0]["TRIGGER"]) != -datetime.timedelta(minutes=before)):
                fail(f"VEVENT {uid}: no alarm {before} minutes before")
            rule = event.get("RRULE")
            if repeat in FREQUENCY:
                if rule is None or rule["FREQ"] != [FREQUENCY[repeat]]:
                    fail(f"VEVENT {uid}: RRULE {rule!r} for repeatType {repeat}")
                elif stop < FOREVER and rule.get("UNTIL") != [at(stop).date() if all_day else at(stop)]:
                    fail(f"VEVENT {uid}: UNTIL {rule.get('UNTIL')} for {at(stop)}")
                elif stop >= FOREVER and "UNTIL" in rule:
                    fail(f"VEVENT {uid}: an UNTIL on a meeting that repeats for ever")
            elif rule is not None:
                fail(f"VEVENT {uid}: RRULE {rule!r} on a meeting that does not repeat")
        elif kind == "exception":
            _, _, original, start, text, all_day = row
            key = (uid, at(original).date() if all_day else at(original))
            event = events.get(key)
            if event is None:
                fail(f"no VEVENT {uid} replacing {key[1]}")
            elif when(event["DTSTART"]) != (at(start).date() if all_day else at(start)):
                fail(f"VEVENT {uid} replacing {key[1]}: DTSTART {when(event['DTSTART'])}")
            elif str(event["SUMMARY"]) != readable(text):
                fail(f"VEVENT {uid} replacing {key[1]}: SUMMARY {str(event['SUMMARY'])!r}")
        elif kind == "todo":
            _, _, text, done, day = row
            todo = todos.get(uid)
            if todo is None:
                fail(f"no VTODO {uid}")
            elif (str(todo["SUMMARY"]) != readable(text) or when(todo["DUE"]) != at(day).date() or
                  str(todo["STATUS"]) != ("COMPLETED" if done else "NEEDS-ACTION")):
                fail(f"VTODO {uid}: {str(todo['SUMMARY'])!r} {when(todo['DUE'])} {todo['STATUS']}")


def check_notes(directory, expected):
    folder = os.path.join(directory, "notes")
    files = {name: open(os.path.join(folder, name), encoding="utf-8").read() for name in os.listdir(folder)}
    unclaimed = set(files)
    for _, stamp, texts in (r for r in expected if r[0] == "note"):
        want = [readable(t) for t in texts]
        mtime = time.mktime(at(stamp).timetuple())
        match = [n for n in unclaimed if all(t in files[n] for t in want)
                 and os.stat(os.path.join(folder, n)).st_mtime == mtime]
        if not match:
            fail(f"no note file with {want} dated {at(stamp)}")
        else:
            unclaimed.discard(match[0])
    if unclaimed:
        fail(f"note files nobody wrote: {sorted(unclaimed)}")


def main():
    directory, expected_path = sys.argv[1], sys.argv[2]
    expected = [json.loads(line) for line in open(expected_path, encoding="utf-8")]
    check_cards(directory, expected)
    check_dates(directory, expected)
    check_notes(directory, expected)
    for what in failures:
        print(what)
    print(f"check_export: {len(expected)} fields, {len(failures)} faults")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
