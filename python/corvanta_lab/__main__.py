"""``python -m corvanta_lab``: the ``corvanta`` command."""

import sys

from corvanta_lab.cli import main

if __name__ == "__main__":
    sys.exit(main())
