"""python3 -m qeldb demo | stub

demo  runs the component's main job on the package (qeldb/demo.py)
stub  prints the type stub of the component's classes (qeldb/__init__.pyi)
"""

import sys


def main(argv):
    if argv == ["demo"]:
        from . import demo
        return demo.main()
    if argv == ["stub"]:
        from . import _stub
        sys.stdout.write(_stub.stub_text())
        return 0
    print(__doc__.strip(), file=sys.stderr)
    return 2


sys.exit(main(sys.argv[1:]))
