# A host written in Python: loads libzubpro and the plug-in with ctypes (RTLD_LOCAL) in either order
# and has the plug-in log once at level 32. Prints "ok" when the process got to the end.
#   python3 ctypes_host.py zubpro-first|plugin-first LIBZUBPRO PLUGIN
import ctypes
import sys

order, zubpro, plugin = sys.argv[1:4]
paths = [zubpro, plugin] if order == "zubpro-first" else [plugin, zubpro]
libraries = {path: ctypes.CDLL(path) for path in paths}
libraries[plugin].zubpro_test_plugin_log(32, b"plug-in line at level 32")
print("ok")
