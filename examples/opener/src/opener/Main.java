package opener;

import com.tarvolin.xoq.Instances;
import java.awt.BorderLayout;
import java.io.Serializable;
import javax.swing.DefaultListModel;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.JList;
import javax.swing.JScrollPane;
import javax.swing.SwingUtilities;
import javax.swing.WindowConstants;

/**
 * "Open in the running window": the first launch shows a window that lists
 * the files it was given; every later launch hands its arguments to that
 * window and ends at once.
 */
public class Main {
    public static void main(String[] args) throws Exception {
        int first = Instances.getFirstInstance();
        if (first > 0 && first != Instances.getCurrentInstance()) {
            // Another copy shows the window: send it the arguments (a
            // String[] is Serializable) and wait until they have left.
            Instances.sendObject(args);
            Instances.flush();
            System.out.println("Sent " + args.length + " argument(s) to the running window.");
            return;
        }

        // The receiver before anything of Swing (which may take a while to
        // start): a launch that comes meanwhile is not lost, since what
        // arrives before a receiver is registered is dropped.
        final DefaultListModel<String> opened = new DefaultListModel<String>();
        for (String file : args) {
            add(opened, file, "this launch"); // not shown yet: no other thread sees it
        }
        Instances.setReceiver(new Instances.ReceiverInterface() {
            public void onReceive(int sender, Serializable object) {
                if (object instanceof String[]) {
                    open(opened, (String[]) object, "instance " + sender);
                }
            }
        });
        System.out.println("Listening for later launches.");
        SwingUtilities.invokeAndWait(new Runnable() {
            public void run() {
                JFrame frame = new JFrame("xoq opener");
                frame.setDefaultCloseOperation(WindowConstants.EXIT_ON_CLOSE);
                frame.add(new JLabel(" Start this program again with file names: they open here."),
                        BorderLayout.NORTH);
                frame.add(new JScrollPane(new JList<String>(opened)), BorderLayout.CENTER);
                frame.setSize(480, 320);
                frame.setVisible(true);
            }
        });
        System.out.println("Window shown.");
    }

    // The receiver runs on the transport thread; the list belongs to Swing.
    static void open(final DefaultListModel<String> opened, final String[] files, final String from) {
        SwingUtilities.invokeLater(new Runnable() {
            public void run() {
                for (String file : files) {
                    add(opened, file, from);
                }
            }
        });
    }

    static void add(DefaultListModel<String> opened, String file, String from) {
        opened.addElement(file + "  (from " + from + ")");
        System.out.println("Opened " + file + " (from " + from + ")");
    }
}
