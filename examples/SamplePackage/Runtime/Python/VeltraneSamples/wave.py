# Placeholder script that a pose runs.
