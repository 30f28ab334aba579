"""The update road that the end-to-end tests share: the build's next release published by the
shop, the installed client's question at its start, the yes, and the updater it starts."""

from harness import files
from harness.updater import LOCK, STAGING, Updater

YES = "是(Y)"
NO = "否(N)"


def question(installed, offered):
    return "您当前使用的版本:%s较最新版本%s低，是否马上更新？" % (installed, offered)


def publish_next(road):
    """The build's next release, published by the shop: {file name: listed size}."""
    road.note(road.shop.publish(road.config.next_program_dir, road.config.next_version))
    return road.shop.release_files()


def program_state(folder):
    """The program folder's files and folders (files.state), without the updater's staging
    folder and its lock file."""
    return files.state(folder, leave_out=(STAGING, LOCK))


def start_client_and_update(test, road, folder):
    """Starts the installed client from `folder`; it asks whether to update to the published
    release, the person says yes, the client ends and its updater runs. Returns the client, the
    updater and the folder's program_state while the question showed (the client has written
    its copy of the release list by then)."""
    client = road.start_client(folder=folder)
    box, read = client.wait_update_question()
    test.assertEqual(read, {"text": question(road.config.version, road.config.next_version), "buttons": [YES, NO]})
    before = program_state(folder)
    client.answer_update(box, YES)
    client.program.wait_exit(15, "the client to end itself for the update")
    return client, Updater(road, folder).wait_started(), before
