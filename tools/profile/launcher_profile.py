"""The channel profile as the scripts and tests read it.

A build writes its resolved profile to <build>/profile.json (the server
base it was really built with, the images' full paths); CTest hands that
file to the tests as TOV_PROFILE_FILE. Without it, the default profile of
the source tree is read. Python 3 standard library only.
"""
import json
import os

SOURCE_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEFAULT_PROFILE = os.path.join(SOURCE_DIR, "profiles", "default", "profile.json")

KEYS = ("game_title", "channel_name", "server_base", "config_path", "config_query", "event_path",
        "error_path", "launcher_version", "file_version", "file_description", "internal_name",
        "product_name", "game_executable", "game_folder", "registry_key_name", "mutex_name",
        "background_image", "close_image", "icon")


class Profile(dict):
    """The profile's texts by key, with the few names derived from them."""

    @property
    def config_target(self):
        """Path and query of the configuration endpoint."""
        query = self["config_query"]
        return self["config_path"] + ("?" + query if query else "")

    @property
    def launcher_name(self):
        """Base name of the downloaded launcher (its log's name too)."""
        return os.path.splitext(self["internal_name"])[0]

    @property
    def uninstall_key(self):
        return r"Software\Microsoft\Windows\CurrentVersion\Uninstall" + "\\" + self["registry_key_name"]

    @property
    def install_dir_name(self):
        """The data directory's name below its drive."""
        return "bm-" + self["channel_name"]

    @property
    def game_relative(self):
        """The game client's executable relative to the client directory,
        as an archive names it."""
        return self["game_folder"] + "/" + self["game_executable"]


def path_from_environment():
    return os.environ.get("TOV_PROFILE_FILE") or DEFAULT_PROFILE


def load(path=None):
    path = path or path_from_environment()
    with open(path, "rb") as f:
        data = json.loads(f.read().decode("utf-8"))
    missing = [k for k in KEYS if not isinstance(data.get(k), str)]
    if missing:
        raise ValueError("%s: no %s" % (path, ", ".join(missing)))
    return Profile(data)
