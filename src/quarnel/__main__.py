import sys

from quarnel.launch import script

sys.exit(script())
