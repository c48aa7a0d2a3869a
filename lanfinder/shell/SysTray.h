#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class QAction;
class QMenu;

// The application's icon in the notification area and its context menu. It
// only turns the user's choices into signals; start-up decides what they do.
class SysTray : public QObject {
    Q_OBJECT
public:
    // Throws the QString "SysTray: No System Tray support available" when the
    // desktop has no tray; nothing is left behind then.
    explicit SysTray(QObject* parent = nullptr);
    // The same with the tray check supplied by the caller (tests replace it).
    SysTray(const std::function<bool()>& trayAvailable, QObject* parent);
    ~SysTray() override;

    QSystemTrayIcon* trayIcon() const { return trayIcon_; }

    // Adds "Copy remote access link" above the separator; only a program
    // that lets other computers in has a link to copy. Once is enough.
    void addRemoteAccessEntry();

signals:
    void requestShowBrowser();
    void requestApplicationClose();
    void requestShowLogWidget();
    void requestShowLogFolder();
    void requestCopyRemoteAccessLink();

private slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

private:
    QAction* quitAction_ = nullptr;
    QAction* showViewAction_ = nullptr;
    QAction* showLogWindowAction_ = nullptr;
    QAction* showLogFolderAction_ = nullptr;
    QAction* separator_ = nullptr;
    QAction* copyRemoteLinkAction_ = nullptr;
    QSystemTrayIcon* trayIcon_ = nullptr;
    // The tray icon does not own its context menu.
    std::unique_ptr<QMenu> menu_;
};
