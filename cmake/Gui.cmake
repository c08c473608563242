# The Qt 6 program. Filled in by the GUI work; until then a placeholder keeps the option valid.
