#pragma once

#include "bridge/JavaScriptInterface.h"
#include "base/Thread.h"
#include "sys/FSEvent.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class HTTPConnection;
class _HTTPConnectionDelegate;
class AudioDevice;
class _AudioDeviceDelegate;
class AudioPlayer;
class _AudioPlayerDelegate;
class AudioRecorder;
class _AudioRecorderDelegate;
class AudioOutputUnit;
class AudioInputUnit;
class MIDIClient;
class _MIDIClientDelegate;
class _MIDIXClientDelegate;
class Sequencer;
class _SequencerDelegate;
class TCPIPConnections;
class NetServiceDiscovery;
class _NetServiceDiscoveryDelegate;
class SamplePlayer;
class _SamplePlayerDelegate;
class UlinkDiscovery;
class _UlinkDiscoveryDelegate;
class UlinkConnection;
class _UlinkConnectionDelegate;

// The long-lived service objects the modules share, their delegates, and the
// list of background workers joined at shutdown. Built and destroyed on the UI thread.
// The services that reach out to the system (HTTP, the MIDI client with its port watch,
// the sound server's endpoint watch) are made on first use, so that a window's start does
// not wait for them; startWatchers() makes the two watchers that report on their own.
class NativeObjects {
public:
    // watchNow false: the MIDI and sound-server watchers wait for startWatchers() or
    // their first use.
    explicit NativeObjects(JavaScriptInterface* controller, bool watchNow = true);
    ~NativeObjects();
    NativeObjects(const NativeObjects&) = delete;
    NativeObjects& operator=(const NativeObjects&) = delete;

    JavaScriptInterface* controller() const { return controller_; }

    // In-process text clipboard (never the system clipboard).
    std::string clipboard;
    // Files of the last drag that entered the window, in drop order.
    std::vector<std::string> droppedFiles;

    // Running HTTP transfers (the http module).
    HTTPConnection& httpConnection();

    // Watches the sound server's endpoints (the audio module's "changed").
    AudioDevice& audioDevice();
    // Track preview and recording: the player renders to the output unit, the input
    // unit captures into the recorder.
    AudioPlayer& audioPlayer() const { return *audioPlayer_; }
    AudioRecorder& audioRecorder() const { return *audioRecorder_; }
    AudioOutputUnit& audioOutputUnit() const { return *audioOutputUnit_; }
    AudioInputUnit& audioInputUnit() const { return *audioInputUnit_; }
    // The application's MIDI client (the midi module).
    MIDIClient& midiClient();
    // The midix module's clients, index = client number; filled once, on the UI thread.
    struct MIDIXClient {
        std::unique_ptr<MIDIClient> client;
        std::unique_ptr<_MIDIXClientDelegate> delegate;
    };
    std::vector<MIDIXClient>& midixClients() { return midixClients_; }
    // The MIDI-file sequencer (the seq module); its delegate plays to midiClient().
    Sequencer& sequencer();
    _SequencerDelegate& sequencerDelegate();
    // Makes the MIDI port watch and the sound server's endpoint watch (their "changed"
    // events) unless some call made them already. Any thread.
    void startWatchers();

    // The sampler module's players, index = player number; filled once, on the UI thread.
    struct SamplePlayerEntry {
        std::unique_ptr<_SamplePlayerDelegate> delegate;  // declared first: outlives its player
        std::unique_ptr<SamplePlayer> player;
    };
    std::vector<SamplePlayerEntry>& samplePlayers() { return samplePlayers_; }

    // Takes a started, joinable worker; it is joined when the objects go away.
    // Workers that have already finished are joined and dropped on the way.
    void addWorker(std::unique_ptr<Thread> worker);
    size_t workerCount() const;
    // Waits for every worker to end.
    void joinWorkers();

    // The folder watcher of the fs module.
    FSEvent& fsEvent() { return *fsEvent_; }

    // The tcpip module's numbered connections.
    TCPIPConnections& tcpipConnections() const { return *tcpipConnections_; }
    // The netservice module's browser, made on first use (UI thread).
    NetServiceDiscovery& netServiceDiscovery();
    // The ulink module's device discovery and its one device link, made on first use (UI thread).
    UlinkDiscovery& ulinkDiscovery();
    UlinkConnection& ulinkConnection();

private:
    JavaScriptInterface* controller_;
    // Each service is made once, by whichever thread asks first.
    std::once_flag httpMade_, audioDeviceMade_, midiMade_, sequencerMade_;
    mutable std::mutex workersMutex_;
    std::vector<std::unique_ptr<Thread>> workers_;
    // Delegates are declared before their services so that they outlive them.
    std::unique_ptr<_HTTPConnectionDelegate> httpConnectionDelegate_;
    std::unique_ptr<HTTPConnection> httpConnection_;
    std::unique_ptr<_AudioDeviceDelegate> audioDeviceDelegate_;
    std::unique_ptr<AudioDevice> audioDevice_;
    std::unique_ptr<_AudioPlayerDelegate> audioPlayerDelegate_;
    std::unique_ptr<_AudioRecorderDelegate> audioRecorderDelegate_;
    std::unique_ptr<AudioOutputUnit> audioOutputUnit_;
    std::unique_ptr<AudioInputUnit> audioInputUnit_;
    std::unique_ptr<AudioPlayer> audioPlayer_;
    std::unique_ptr<AudioRecorder> audioRecorder_;
    std::unique_ptr<_MIDIClientDelegate> midiClientDelegate_;
    std::unique_ptr<MIDIClient> midiClient_;
    std::vector<MIDIXClient> midixClients_;
    std::unique_ptr<_SequencerDelegate> sequencerDelegate_;
    std::unique_ptr<Sequencer> sequencer_;
    std::vector<SamplePlayerEntry> samplePlayers_;
    std::unique_ptr<FSEventDelegate> fsEventDelegate_;
    std::unique_ptr<FSEvent> fsEvent_;
    std::unique_ptr<TCPIPConnections> tcpipConnections_;
    std::unique_ptr<_NetServiceDiscoveryDelegate> netServiceDiscoveryDelegate_;
    std::unique_ptr<NetServiceDiscovery> netServiceDiscovery_;
    std::unique_ptr<_UlinkDiscoveryDelegate> ulinkDiscoveryDelegate_;
    std::unique_ptr<UlinkDiscovery> ulinkDiscovery_;
    std::unique_ptr<_UlinkConnectionDelegate> ulinkConnectionDelegate_;
    std::unique_ptr<UlinkConnection> ulinkConnection_;
};
