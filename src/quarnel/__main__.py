import sys

from quarnel.cli import main

sys.exit(main())
