import sys

from quarnel.cli import script

sys.exit(script())
