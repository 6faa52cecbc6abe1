"""``python -m corvanta_lab``: the ``corvanta`` command."""

import sys

from corvanta_lab.cli import main

sys.exit(main())
