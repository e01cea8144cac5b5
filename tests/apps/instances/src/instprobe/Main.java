package instprobe;

import com.tarvolin.xoq.Instances;
import java.io.File;
import java.io.Serializable;

/**
 * Runs its arguments as commands, in order, printing one line per event:
 * ids (first=, current=, instances=), receive (registers a receiver that
 * prints "received ..." lines; a Note "hold:FILE" keeps it busy until the
 * file exists), send:TARGET:SIZE:TEXT (a Note; TARGET "first" uses the
 * one-argument form, "text" sends the text as a String), flush (flushed),
 * threads:N (N sleeping threads), await:FILE (until the file exists,
 * printing first= whenever the first instance changes), pause:FILE (the
 * same without asking anything of Instances), exit (ends through
 * System.exit at once).
 */
public class Main {
    public static void main(String[] args) throws Exception {
        say("ready");
        for (String command : args) {
            if (command.equals("ids")) {
                StringBuilder list = new StringBuilder();
                for (int id : Instances.getInstances()) {
                    list.append(list.length() == 0 ? "" : ",").append(id);
                }
                say("first=" + Instances.getFirstInstance());
                say("current=" + Instances.getCurrentInstance());
                say("instances=" + list);
            } else if (command.equals("receive")) {
                Instances.setReceiver(new Instances.ReceiverInterface() {
                    public void onReceive(int sender, Serializable object) {
                        report(sender, object);
                    }
                });
                say("receiving");
            } else if (command.startsWith("send:")) {
                String[] parts = command.split(":", 4);
                Serializable object = parts[1].equals("text") ? parts[3] : new Note(parts[3], Integer.parseInt(parts[2]));
                if (parts[1].equals("first") || parts[1].equals("text")) {
                    Instances.sendObject(object);
                } else {
                    Instances.sendObject(Integer.parseInt(parts[1]), object);
                }
            } else if (command.equals("flush")) {
                Instances.flush();
                say("flushed");
            } else if (command.startsWith("threads:")) {
                for (int i = Integer.parseInt(command.substring(8)); i > 0; i--) {
                    Thread sleeper = new Thread(new Runnable() {
                        public void run() {
                            try {
                                Thread.sleep(600000);
                            } catch (InterruptedException e) {
                                // ends
                            }
                        }
                    });
                    sleeper.setDaemon(true);
                    sleeper.start();
                }
                say("threads started");
            } else if (command.startsWith("await:")) {
                File file = new File(command.substring(6));
                int first = Integer.MIN_VALUE;
                long deadline = System.currentTimeMillis() + 120000;
                while (!file.exists() && System.currentTimeMillis() < deadline) {
                    int now = Instances.getFirstInstance();
                    if (now != first) {
                        first = now;
                        say("first=" + first);
                    }
                    Thread.sleep(10);
                }
            } else if (command.startsWith("pause:")) {
                File file = new File(command.substring(6));
                long deadline = System.currentTimeMillis() + 120000;
                while (!file.exists() && System.currentTimeMillis() < deadline) {
                    Thread.sleep(10);
                }
            } else if (command.equals("exit")) {
                System.exit(0);
            }
        }
        say("done");
    }

    static void report(int sender, Serializable object) {
        if (object instanceof Note) {
            Note note = (Note) object;
            say("received from=" + sender + " class=" + object.getClass().getName() + " text=" + note.text + " size="
                    + note.payload.length + " intact=" + note.intact() + " loader="
                    + (object.getClass().getClassLoader() == Thread.currentThread().getContextClassLoader()));
            if (note.text.startsWith("hold:")) {
                File release = new File(note.text.substring(5));
                long deadline = System.currentTimeMillis() + 120000;
                try {
                    while (!release.exists() && System.currentTimeMillis() < deadline) {
                        Thread.sleep(10);
                    }
                } catch (InterruptedException e) {
                    // goes on
                }
            }
        } else {
            say("received from=" + sender + " class=" + object.getClass().getName() + " value=" + object);
        }
    }

    static synchronized void say(String line) {
        System.out.println(line);
        System.out.flush();
    }
}
