import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))

from harness.cli import main  # noqa: E402

sys.exit(main(sys.argv[1:]))
