// SPDX-License-Identifier: MIT
// The whole interface by name: properties that notify, members that take and give values,
// failures as errorOccurred (never as exceptions), signals a QML handler takes, and a tool
// whose output comes back.
import QtQml
import Lanyard

QtObject {
    property ExternalApps apps: ExternalApps {
        onErrorOccurred: (number, message) => console.log("error", number, message)
        onExtFileChanged: console.log("list file set")
        onAppFinished: (group, app) => console.log("started", group, app)
    }
    Component.onCompleted: {
        apps.MaxGroups = 20
        apps.EXTFile = listFile
        apps.Language = "lGerman"
        apps.AddPlaceHolder("%FILE%", "/etc/hostname")
        apps.AddApp("Tools", "Editor", "/usr/bin/ed", "-p %FILE%", false)
        apps.AppPath("Tools", "Nowhere") // fails: errorOccurred tells it
        apps.ShowForm() // the window needs a QApplication, which a QML host has not: error 5
        console.log("groups:", apps.GroupCount, "path:", apps.AppPath("Tools", "Editor"),
                    "protected:", apps.AppProtected("Tools", "Editor"), "language:", apps.Language,
                    "icon:", apps.iconUrl("Tools", 0).startsWith("data:image/png;base64,"))
        apps.AddApp("Tools", "Upper case", "tr", "a-z A-Z", false)
        const run = apps.startTool("Tools", "Upper case", "shout") // the text goes to its input
        let said = ""
        run.standardOutputText.connect(text => said += text)
        run.finished.connect(exitCode => {
            console.log("tool said:", said, "exit:", exitCode)
            Qt.exit(apps.save() ? 0 : 1)
        })
    }
}
