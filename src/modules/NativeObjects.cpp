#include "modules/NativeObjects.h"

#include "audio/AudioDevice.h"
#include "audio/AudioInputUnit.h"
#include "audio/AudioOutputUnit.h"
#include "audio/SamplePlayer.h"
#include "midi/MIDIClient.h"
#include "midi/Sequencer.h"
#include "modules/NativeCall_audio.h"
#include "modules/NativeCall_player.h"
#include "modules/NativeCall_recorder.h"
#include "modules/NativeCall_sampler.h"
#include "modules/NativeCall_fs.h"
#include "modules/NativeCall_http.h"
#include "modules/NativeCall_midi.h"
#include "modules/NativeCall_midix.h"
#include "modules/NativeCall_seq.h"
#include "net/HTTPConnection.h"
#include "modules/NativeCall_netservice.h"
#include "net/NetServiceDiscovery.h"
#include "net/TCPIPConnections.h"
#include "midi/MIDIClock.h"
#include "modules/NativeCall_ulink.h"
#include "net/UlinkConnection.h"
#include "net/UlinkDiscovery.h"

NativeObjects::NativeObjects(JavaScriptInterface* controller, bool watchNow) : controller_(controller) {
    tcpipConnections_ = std::make_unique<TCPIPConnections>();
    audioPlayer_ = std::make_unique<AudioPlayer>();
    audioRecorder_ = std::make_unique<AudioRecorder>();
    audioPlayerDelegate_ = std::make_unique<_AudioPlayerDelegate>(controller);
    audioRecorderDelegate_ = std::make_unique<_AudioRecorderDelegate>(controller);
    audioPlayer_->setDelegate(audioPlayerDelegate_.get());
    audioRecorder_->setDelegate(audioRecorderDelegate_.get());
    audioOutputUnit_ = std::make_unique<AudioOutputUnit>();
    audioInputUnit_ = std::make_unique<AudioInputUnit>();
    audioPlayer_->setOutput(audioOutputUnit_.get());
    audioRecorder_->setInput(audioInputUnit_.get());
    fsEventDelegate_ = std::make_unique<_FSEventDelegate>(controller);
    fsEvent_ = std::make_unique<FSEvent>(fsEventDelegate_.get());
    if (watchNow) startWatchers();
}

NativeObjects::~NativeObjects() {
    for (auto& midix : midixClients_) {
        midix.client.reset();
        midix.delegate.reset();
    }
    midixClients_.clear();
    samplePlayers_.clear();  // each player stops its render thread first
    joinWorkers();
    // Every connection's reader has reported "closed" when this returns.
    tcpipConnections_->closeAll();
    netServiceDiscovery_.reset();
    netServiceDiscoveryDelegate_.reset();
    // Each stops its threads before its delegate goes.
    ulinkConnection_.reset();
    ulinkConnectionDelegate_.reset();
    ulinkDiscovery_.reset();
    ulinkDiscoveryDelegate_.reset();
    // Services first (each stops its own workers), then the delegates they report to.
    httpConnection_.reset();
    // The sequencer joins its play timer before the client it plays to goes.
    sequencer_.reset();
    sequencerDelegate_.reset();
    midiClient_.reset();
    httpConnectionDelegate_.reset();
    audioDevice_.reset();
    audioDeviceDelegate_.reset();
    // The recorder and the player stop their units (and finish any file) before they go.
    audioRecorder_.reset();
    audioPlayer_.reset();
    audioInputUnit_.reset();
    audioOutputUnit_.reset();
    audioPlayerDelegate_.reset();
    audioRecorderDelegate_.reset();
    midiClientDelegate_.reset();
    fsEvent_.reset();
    fsEventDelegate_.reset();
}

namespace {

// A service made on first use, with the delegate that reports for it set before anyone can call it.
template <class Service, class Delegate>
void makeWithDelegate(std::unique_ptr<Service>& service, std::unique_ptr<Delegate>& delegate, JavaScriptInterface* controller) {
    delegate = std::make_unique<Delegate>(controller);
    service = std::make_unique<Service>();
    service->setDelegate(delegate.get());
}

}  // namespace

HTTPConnection& NativeObjects::httpConnection() {
    std::call_once(httpMade_, [this] { makeWithDelegate(httpConnection_, httpConnectionDelegate_, controller_); });
    return *httpConnection_;
}

AudioDevice& NativeObjects::audioDevice() {
    std::call_once(audioDeviceMade_, [this] { makeWithDelegate(audioDevice_, audioDeviceDelegate_, controller_); });
    return *audioDevice_;
}

MIDIClient& NativeObjects::midiClient() {
    std::call_once(midiMade_, [this] {
        makeWithDelegate(midiClient_, midiClientDelegate_, controller_);
        midiClient_->inputPort()->setDelegate(midiClientDelegate_.get());
    });
    return *midiClient_;
}

Sequencer& NativeObjects::sequencer() {
    std::call_once(sequencerMade_, [this] {
        // The sequencer plays to the application's MIDI client.
        sequencerDelegate_ = std::make_unique<_SequencerDelegate>(controller_, &midiClient());
        sequencer_ = std::make_unique<Sequencer>();
        sequencer_->setDelegate(sequencerDelegate_.get());
    });
    return *sequencer_;
}

_SequencerDelegate& NativeObjects::sequencerDelegate() {
    sequencer();
    return *sequencerDelegate_;
}

void NativeObjects::startWatchers() {
    midiClient();
    audioDevice();
}

NetServiceDiscovery& NativeObjects::netServiceDiscovery() {
    if (!netServiceDiscovery_) {
        netServiceDiscoveryDelegate_ = std::make_unique<_NetServiceDiscoveryDelegate>(controller_);
        netServiceDiscovery_ = std::make_unique<NetServiceDiscovery>(netServiceDiscoveryDelegate_.get());
    }
    return *netServiceDiscovery_;
}

UlinkDiscovery& NativeObjects::ulinkDiscovery() {
    if (!ulinkDiscovery_) {
        ulinkDiscoveryDelegate_ = std::make_unique<_UlinkDiscoveryDelegate>(controller_);
        ulinkDiscovery_ = std::make_unique<UlinkDiscovery>();
        ulinkDiscovery_->setDelegate(ulinkDiscoveryDelegate_.get());
    }
    return *ulinkDiscovery_;
}

UlinkConnection& NativeObjects::ulinkConnection() {
    if (!ulinkConnection_) {
        ulinkConnectionDelegate_ = std::make_unique<_UlinkConnectionDelegate>(controller_);
        // MIDI sent over the link carries the time stamps of every other MIDI user.
        ulinkConnection_ = std::make_unique<UlinkConnection>(midiClockMilliseconds);
        ulinkConnection_->setDelegate(ulinkConnectionDelegate_.get());
        ulinkConnection_->midiService().setDelegate(ulinkConnectionDelegate_.get());
    }
    return *ulinkConnection_;
}

void NativeObjects::addWorker(std::unique_ptr<Thread> worker) {
    std::lock_guard<std::mutex> lock(workersMutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->finished()) {
            (*it)->join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    workers_.push_back(std::move(worker));
}

size_t NativeObjects::workerCount() const {
    std::lock_guard<std::mutex> lock(workersMutex_);
    return workers_.size();
}

void NativeObjects::joinWorkers() {
    std::vector<std::unique_ptr<Thread>> workers;
    {
        std::lock_guard<std::mutex> lock(workersMutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) worker->join();
}
