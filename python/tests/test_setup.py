import os
import subprocess
import sys

import pytest

import ckp
from conftest import child_env

TEAM = ('WRXCHECKPOINT="1.0"\n'
        'alice role="lead" site="north"\n'
        'bob role="layout" site="south" remote note=""\n')


@pytest.fixture
def team(write):
    path = write("team.setup", TEAM)
    setup = ckp.Setup.load(path)
    yield setup
    setup.close()


def test_mapping_access_flags_and_order(team):
    assert list(team) == ["alice", "bob"] and len(team) == 2
    bob = team["bob"]
    assert dict(bob) == {"note": "", "remote": None, "role": "layout", "site": "south"}
    assert list(bob) == ["note", "remote", "role", "site"]  # the store's order
    assert bob["remote"] is None and bob["note"] == ""
    assert "bob" in team and "carol" not in team and 3 not in team
    with pytest.raises(KeyError):
        team["carol"]
    with pytest.raises(KeyError):
        bob["absent"]
    assert ckp.Setup.load(team.path) is team


def test_round_trip(team, tmp_path):
    team["bob"]["role"] = "lead"
    team["bob"]["remote"] = ""  # a flag becomes an empty value
    team["bob"]["onsite"] = None
    del team["bob"]["site"]
    team["carol"] = {"role": "layout", "remote": None}
    del team["alice"]
    with pytest.raises(KeyError):
        del team["alice"]
    team.save()
    path = team.path
    team.close()
    # The changed record keeps its own order, new properties after it.
    assert open(path).read() == ('WRXCHECKPOINT="1.0"\n'
                                 'bob role="lead" remote="" note="" onsite\n'
                                 'carol remote role="layout"\n')
    again = ckp.Setup.load(path)
    elsewhere = tmp_path / "deeper" / "copy.setup"
    again.save(elsewhere)
    assert elsewhere.read_text() == ('WRXCHECKPOINT="1.0"\n'
                                     'bob note="" onsite remote="" role="lead"\n'
                                     'carol remote role="layout"\n')
    assert not os.path.exists(tmp_path / "deeper" / ".ckp.lock")
    again.close()


def test_create_search_group_and_close(tmp_path, monkeypatch):
    path = tmp_path / "new.setup"
    setup = ckp.Setup.create(path)
    assert len(setup) == 0
    setup["x"] = {}
    setup.save()
    setup.close()
    assert path.read_text() == 'WRXCHECKPOINT="1.0"\nx\n'
    with pytest.raises(ckp.Error):
        setup["x"]
    with pytest.raises(ckp.Error):
        ckp.Setup.create(path)  # a file is there: load it instead

    monkeypatch.setenv("KVO_SEARCH_MYGROUP", str(tmp_path))
    with ckp.Setup.load("new.setup", group="mygroup") as found:
        assert list(found) == ["x"] and found.path == str(tmp_path / "new.setup")
    with pytest.raises(ckp.Error) as raised:
        ckp.Setup.load("new.setup")  # not in the default group's directories
    assert raised.value.operation == "ckpSetupLoadGroup"
    assert "new.setup" in str(raised.value)


def test_load_messages_are_errors_or_warnings(write, capfd):
    bad = write("bad.setup", 'WRXCHECKPOINT="1.0"\nok a="1"\nbroken "x\nagain y="\n')
    with pytest.raises(ckp.Error) as raised:
        ckp.Setup.load(bad)
    message = str(raised.value)
    assert "illegal character in property name" in message
    assert message.count("on line") == 2 and 'broken "x' in message
    # The messages of a load that succeeds are warnings.
    path = write("dup.setup", 'WRXCHECKPOINT="1.0"\na x="1" x="2"\n')
    with pytest.warns(ckp.LibraryWarning, match="couldn't add property to checkpoint entry"):
        with ckp.Setup.load(path) as setup:
            assert dict(setup["a"]) == {"x": "1"}
    assert capfd.readouterr().err == ""  # nothing reached standard error


def test_save_failures(team, tmp_path):
    team["bob"]["bad-name"] = "1"
    with pytest.raises(ckp.Error) as raised:
        team.save(tmp_path / "out.setup")
    assert "writing property to checkpoint file failed" in str(raised.value)
    assert raised.value.operation == "ckpSetupSave"
    assert not (tmp_path / "out.setup").exists()


def test_edit_holds_the_directory_lock(write, tmp_path):
    path = write("edit.setup", TEAM)
    with ckp.Setup.edit(path) as team:
        team["alice"]["site"] = "east"
        with pytest.raises(ckp.Error):
            ckp.Setup.edit(path).__enter__()  # loaded already
    with pytest.raises(RuntimeError):
        with ckp.Setup.edit(path) as team:
            team["alice"]["site"] = "lost"
            raise RuntimeError("abandon")
    with ckp.Setup.load(path) as again:
        assert again["alice"]["site"] == "east"

    # An edit held elsewhere makes this one give up after CKP_LOCK_TIMEOUT
    # seconds, naming the lock file. The holder says when it holds the lock
    # and keeps it until its input ends.
    holder = subprocess.Popen(
        [sys.executable, "-c",
         "import ckp, sys\nwith ckp.Setup.edit(sys.argv[1]):\n"
         "    print('held', flush=True)\n    sys.stdin.read()\n", path],
        env=child_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    lock = os.path.join(os.path.dirname(path), ".ckp.lock")
    try:
        assert holder.stdout.readline() == b"held\n"
        os.environ["CKP_LOCK_TIMEOUT"] = "0"
        with pytest.raises(ckp.Error) as raised:
            with ckp.Setup.edit(path):
                pass
        assert lock in str(raised.value) and "another edit holds the lock" in str(raised.value)
    finally:
        os.environ.pop("CKP_LOCK_TIMEOUT", None)
        holder.communicate(b"", timeout=60)
    assert not os.path.exists(lock)


HAND_EDITED = ('WRXCHECKPOINT="1.0"\r\n'
               '; the team\r\n'
               'bob  site="south"   remote ; far away\r\n')


def test_save_of_an_entry_changed_in_the_file_too_fails(write, tmp_path):
    path = write("both.setup", 'WRXCHECKPOINT="1.0"\nbob site="south"\n')
    with ckp.Setup.load(path) as team:
        with ckp.Setup.edit(f"{tmp_path}/./both.setup") as them:
            them["bob"]["site"] = "west"
        before = (tmp_path / "both.setup").read_bytes()
        team["bob"]["site"] = "east"
        with pytest.raises(ckp.Error, match="entry bob "):
            team.save()
        assert (tmp_path / "both.setup").read_bytes() == before


def test_save_keeps_the_file_and_concurrent_edits_whatever_its_name(write, tmp_path):
    path = write("named.setup", HAND_EDITED)
    os.symlink("named.setup", tmp_path / "link.setup")
    spellings = [os.path.abspath(path), f"{tmp_path}/./named.setup", tmp_path / "link.setup"]
    with ckp.Setup.load(path) as team:
        for i, spelling in enumerate(spellings):
            # An edit by another editor (the same file, another setup).
            with ckp.Setup.edit(f"{tmp_path}/../{tmp_path.name}/named.setup") as them:
                them[f"e{i}"] = {}
            team[f"s{i}"] = {"n": str(i)}
            team.save(spelling)
    saved = (tmp_path / "named.setup").read_bytes().decode()
    assert saved.startswith(HAND_EDITED) and 's2 n="2"\r\n' in saved
    with ckp.Setup.load(path) as again:
        assert list(again) == ["bob", "e0", "e1", "e2", "s0", "s1", "s2"]


def test_edit_refuses_a_fifo_at_once(tmp_path):
    os.mkfifo(tmp_path / "f.setup")
    # Without the refusal the load waits for a writer.
    with pytest.raises(ckp.Error, match="not a regular file"):
        with ckp.Setup.edit(str(tmp_path / "f.setup")):
            pass
