"""Prints one line per MIDI file as python3-mido reads it, for the end-to-end tests."""
import sys

import mido

for path in sys.argv[1:]:
    midi = mido.MidiFile(path)
    fields = [f"type={midi.type}", f"tracks={len(midi.tracks)}", f"tpb={midi.ticks_per_beat}"]
    notes = 0
    for message in midi.tracks[0]:
        if message.type == "set_tempo":
            fields.append(f"tempo={message.tempo}")
        elif message.type == "time_signature":
            fields.append(f"time={message.numerator}/{message.denominator},{message.clocks_per_click},"
                          f"{message.notated_32nd_notes_per_beat}")
        elif message.type == "sysex":
            fields.append("sysex=" + ",".join(f"{byte:02X}" for byte in message.data))
        elif message.type == "note_on" and message.velocity > 0:
            notes += 1
    fields.append(f"notes={notes}")
    fields.append(f"last={midi.tracks[0][-1].type}")
    fields.append(f"ticks={sum(message.time for message in midi.tracks[0])}")
    print(" ".join(fields))
